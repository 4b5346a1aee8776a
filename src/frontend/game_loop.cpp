#include "frontend/game_loop.h"

#include <cmath>
#include <cstdio>

#include "board/move.h"
#include "book/book.h"
#include "board/notation.h"
#include "board/perft.h"
#include "core/io.h"
#include "core/settings.h"
#include "frontend/console.h"
#include "frontend/uci.h"
#include "core/clock.h"
#include "search/draw.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "search/tt.h"

namespace {

constexpr uint16_t REQUESTS = 0xF0;

// Would the game be drawn by rule after this move? The record the trial move
// overwrites may hold a move the console can still replay: it is put back.
bool draws_by_rule(Move move) {
    HistoryEntry kept = game.history[game.histIndex];
    if (make_game_move(game, move) != 0) return false;
    bool draw = is_draw_by_rule(game);
    unmake_game_move(game);
    game.history[game.histIndex] = kept;
    return draw;
}

// A ponder search that ended before the GUI decided keeps its answer until
// "ponderhit" or "stop".
void wait_for_ponder_decision() {
    SearchState& s = search_state;
    while ((s.search_flags.load() & FLAG_PONDER) && !(s.search_flags.load() & FLAG_STOP) && !quit_requested()) {
        poll_input();
        sleep_ms(1);
    }
}

// OwnBook_File serves the first OwnBook_Depth plies, OwnBook2_File up to OwnBook2_Depth.
Move book_move() {
    int ply = game.histIndex;
    int d1 = int8_t(options.book_depth), d2 = int8_t(options.book2_depth);
    if (ply >= (d1 > d2 ? d1 : d2)) return MOVE_NONE;
    Move move = MOVE_NONE;
    if (ply < d1) move = book_probe(game, options.book_file);
    if (!move && ply < d2) move = book_probe(game, options.book2_file);
    // A book move into a draw by rule is no bargain: search instead.
    if (move && draws_by_rule(move)) move = MOVE_NONE;
    return move;
}

void start_search(uint16_t request) {
    SearchState& s = search_state;
    s.best_depth = 0;
    s.best_line[1] = s.best_line[2] = MOVE_NONE;
    s.best_score = 0;
    s.book_move.store(MOVE_NONE);
    if (request == FLAG_GO && options.own_book) {
        Move move = book_move();
        if (move) {
            char text[MOVE_TEXT_SIZE];
            move_text(game.pos, game.pos.side, move, text);
            print_fmt("%s book move is %s", options.uci_mode ? "info string" : "", text);
            s.stop_flag.store(1);
            // The move and the end of the "search" become visible together.
            s.book_move.store(move, std::memory_order_relaxed);
            s.search_flags.store(uint16_t(s.search_flags.load() | FLAG_DONE), std::memory_order_release);
            return;
        }
    }
    search_start(request == FLAG_GO_PONDER ? FLAG_PONDER : FLAG_SEARCH, 1, poll_input);
    wait_for_ponder_decision();
}

void print_statistics(Move best) {
    const SearchState& s = search_state;
    char text[MOVE_TEXT_SIZE];
    move_text(game.pos, game.pos.side, best, text);
    float elapsed = s.elapsed.load();
    double ebf = 2.0;
    int d = s.best_depth;
    if (d > 5 && s.nodes_by_depth[d] && s.nodes_by_depth[d - 4])
        ebf = std::pow(double(s.nodes_by_depth[d]) / double(s.nodes_by_depth[d - 4]), 0.25);
    print_fmt("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", text, elapsed, s.best_score,
              double(s.nodes), double(s.nodes) / (elapsed + 0.002) * 0.001, ebf);
    float fill = tt.entries > 2999 ? tt_hashfull() * 100.0f : 0.0f;
    auto rate = [](uint64_t hits, uint64_t probes) { return 100.0 * double(hits) / double(probes + 1); };
    print_fmt("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK", fill,
              rate(s.tt_hits, s.tt_probes), rate(s.pawn_hits, s.pawn_probes), rate(s.eval_hits, s.eval_probes),
              double(s.tbhits) * 0.001);
    if (s.ncnt[0] + s.ncnt[1] + s.ncnt[2] + s.ncnt[3])
        print_fmt("ncnt1= %d, ncnt2= %d, ncnt3= %d, ncnt4= %d", s.ncnt[0], s.ncnt[1], s.ncnt[2], s.ncnt[3]);
    print_line("");
}

void report() {
    SearchState& s = search_state;
    s.search_flags.store(0);
    Move book = s.book_move.load();
    Move best = book ? book : s.best_line[1];
    Move ponder = book ? MOVE_NONE : s.best_line[2];
    int side = game.pos.side;
    if (options.uci_mode) {
        char best_text[MOVE_TEXT_SIZE], ponder_text[MOVE_TEXT_SIZE] = "";
        move_text(game.pos, side, best, best_text);
        if (ponder) move_text(game.pos, side ^ 1, ponder, ponder_text);
        // Some interfaces mishandle an answer that arrives within a millisecond.
        if (s.elapsed.load() < 0.006f && s.clock[side] > 1.0f) sleep_ms(1);
        char line[64];
        snprintf(line, sizeof line, "bestmove %s%s%s", best_text, ponder ? " ponder " : "", ponder_text);
        print_line(line);
    } else {
        print_statistics(best);
    }

    s.clock[side] = s.clock[side] - s.elapsed.load() + options.increment;
    int period = options.limit_mode;
    if (period > 1 && game.histIndex % (2 * period) <= 1) s.clock[side] = options.time_per_move;

    if (!best) {
        autoplay_both = autoplay_reply = 0;
        return;
    }
    if (draws_by_rule(best)) print_line("info string Draw!");
    if (autoplay_both || autoplay_reply) {
        play_game_move(best);
        print_board(game.pos);
        autoplay_reply = 0;  // one answer per request
        if (autoplay_both) s.search_flags.store(FLAG_GO);
    }
}

}  // namespace

void game_loop() {
    SearchState& s = search_state;
    set_fen(game.pos, START_FEN);
    if (!options.uci_mode) print_board(game.pos);
    set_quit_requested(0);
    s.search_flags.store(0);
    s.stop_flag.store(0);
    while (!quit_requested()) {
        uint16_t flags = s.search_flags.load();
        if (flags & (FLAG_GO | FLAG_GO_PONDER)) {
            // A ponder search must end in a "bestmove" for the interface's
            // "stop" or "ponderhit", so only a real "go" claims the draw.
            if (!(flags & FLAG_GO_PONDER) && is_draw_by_rule(game)) {
                autoplay_both = 0;
                s.search_flags.store(0);
                print_line("info string Draw!");
                continue;
            }
            start_search(flags & FLAG_GO_PONDER ? FLAG_GO_PONDER : FLAG_GO);
        }
        if (s.search_flags.load() & FLAG_DONE) {
            report();
        } else if (!(s.search_flags.load() & REQUESTS)) {
            poll_input();
            if (quit_requested()) return;
            sleep_ms(1);
        }
    }
}
