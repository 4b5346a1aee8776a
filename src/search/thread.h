// SearchThread: everything one search thread owns, in one cache-aligned
// record: the board half (position, history, ply records, move lists,
// ordering tables), the evaluation state, and the root results.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

#include "board/thread_board.h"
#include "eval/evaluate.h"
#include "search/state.h"

constexpr int MAX_THREADS = 512;

struct alignas(64) SearchThread : ThreadBoard {
    EvalState eval;
    uint64_t tbhits;
    uint16_t index;      // 0 = the main thread, the only one that publishes
    int16_t root_index;  // histIndex of the root position
    MoveEntry root_moves[LIST_CAP];
    int root_count;
    Move best_line[MAX_PLY + 2];
    Move best_move;
    int16_t best_score;
    int8_t iteration_depth;
    int8_t seldepth;
    uint8_t root_fail;   // 0 in window, 1 failing low, 2 failing high
    uint32_t seed;       // root-order perturbation of the helper threads
};

extern SearchThread* search_threads[MAX_THREADS];

// A record is created by its own thread while others may look at the table.
inline SearchThread* thread_record(int index) {
    return std::atomic_ref<SearchThread*>(search_threads[index]).load(std::memory_order_acquire);
}

// Creates the record on first use, then copies the game into it and clears
// its results and counters: 0, or -1 when the record cannot be allocated.
int prepare_thread(int index);
// Runs one search: threaded on Threads threads while this thread keeps the
// clock and reads input, or synchronously on the calling thread.
// poll: reads and handles waiting input while the threads search (may be null).
void search_start(uint16_t flags, int threaded, void (*poll)() = nullptr);
// The single-threaded synchronous search of the console and the tools.
void search_sync();
// The counters of a record, in the order of SearchState's totals: nodes,
// tbhits, table probes and hits, pawn-cache probes and hits, evaluation calls and cache hits.
inline std::array<uint64_t*, COUNTERS> thread_counters(SearchThread& t) {
    return {&t.nodes, &t.tbhits, &t.tt_probes, &t.tt_hits, &t.eval.hce.pawn_probes, &t.eval.hce.pawn_hits,
            &t.eval.eval_calls, &t.eval.eval_hits};
}
void clear_counters(SearchThread& t);
// Adds up the counters of the threads that reached depth 2 into SearchState.
void sum_counters();
// Frees every record (at exit).
void free_search_threads();

inline bool search_stopped() { return search_state.stop_flag.load(std::memory_order_relaxed) != 0; }
inline void stop_search() { search_state.stop_flag.store(1, std::memory_order_relaxed); }
