// SearchState: the one record shared by the front end and the search threads.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

// search_flags bits. The word is 0 exactly when the engine is idle.
enum : uint16_t {
    FLAG_SEARCH = 0x01,     // a timed search is running
    FLAG_PONDER = 0x02,     // the running search is a ponder search
    FLAG_ANALYSE = 0x04,    // a fixed-limit search (tools, benchmark, console)
    FLAG_GO = 0x10,         // go received, search not yet started
    FLAG_GO_PONDER = 0x20,  // go ponder received, search not yet started
    FLAG_DONE = 0x40,       // the search has finished; its best move is available
    FLAG_STOP = 0x80,       // "stop" received during the search
};

constexpr int MAX_PLY = 80;  // deepest ply searched; lines are indexed 1..80

struct SearchState {
    // Cross-thread signals: written by the input reader, the clock and thread 0,
    // polled by every search thread.
    std::atomic<uint16_t> search_flags{0};
    std::atomic<uint16_t> book_move{0};  // published before FLAG_DONE (release order)
    std::atomic<uint8_t> stop_flag{0};
    std::atomic<int8_t> main_depth{0};   // thread 0's iteration depth, read by helpers

    // Transposition table state.
    uint8_t table_enabled = 1;
    uint16_t age = 0;
    float hashfull = 0;

    // Strength limiting.
    float target_nps = 0;
    uint16_t throttle = 0;

    // What this "go" asks beyond the limits: the root moves it allows
    // ("searchmoves"; none listed = every legal move) and the mate it looks
    // for ("mate N": the search ends once a mate in N moves or fewer is found).
    uint16_t root_filter[256] = {};
    int root_filter_count = 0;
    int mate_moves = 0;

    // Clock and time control (seconds).
    float clock[2] = {5.0f, 5.0f};
    uint16_t moves_to_go = 0;
    std::atomic<float> target_time{1.0f};
    std::atomic<float> elapsed{0};
    double start_time = 0;

    // The published result of thread 0.
    uint32_t seed = 0;
    int8_t best_depth = 0;
    int16_t best_score = 0;
    uint16_t best_line[MAX_PLY + 1] = {};  // index 1 = best move, 2 = ponder move
    int8_t best_change_depth = 0;
    uint8_t single_reply = 0;
    int16_t score_by_depth[MAX_PLY + 1] = {};
    uint16_t move_by_depth[MAX_PLY + 1] = {};
    int8_t seldepth = 0;
    int32_t root_tb_result = -1;
    int16_t root_qscore = 0;      // quiescence score of the root
    int16_t root_static_eval = 0; // static evaluation of the root
    uint16_t multipv_move[256] = {};
    int16_t multipv_score[256] = {};

    // Statistics, summed over threads.
    uint64_t nodes = 0, tbhits = 0;
    uint64_t tt_probes = 0, tt_hits = 0;
    uint64_t pawn_probes = 0, pawn_hits = 0;
    uint64_t eval_probes = 0, eval_hits = 0;
    uint64_t nodes_by_depth[MAX_PLY + 2] = {};
    uint32_t ncnt[4] = {};
};

extern SearchState search_state;

// The summed counters, in the order of a thread's own (thread_counters in thread.h).
constexpr int COUNTERS = 8;
inline std::array<uint64_t*, COUNTERS> search_totals(SearchState& s) {
    return {&s.nodes, &s.tbhits, &s.tt_probes, &s.tt_hits, &s.pawn_probes, &s.pawn_hits, &s.eval_probes, &s.eval_hits};
}
