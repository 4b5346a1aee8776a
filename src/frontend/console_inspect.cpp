// Console commands that look at the position and the engine without changing the game.
#include <cstring>
#include <string>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/perft.h"
#include "board/see.h"
#include "core/clock.h"
#include "core/io.h"
#include "core/settings.h"
#include "eval/display.h"
#include "frontend/console_commands.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "search/tt.h"

namespace {

// The main search thread's record as a copy of the game: the place to make
// moves without touching the game's own history.
SearchThread* game_copy() {
    if (prepare_thread(0) != 0) {
        print_line("out of memory");
        return nullptr;
    }
    return search_threads[0];
}

void print_last_move() {
    if (game.histIndex == 0 || game.history[game.histIndex - 1].move == MOVE_NONE) return;
    Move last = game.history[game.histIndex - 1].move;
    char from[3], to[3];
    square_name(move_from(last), from);
    square_name(move_to(last), to);
    int number = (game.histIndex + 1) / 2;
    print_fmt("last move was %d%s %s%s", number, game.pos.side == BLACK ? "." : "...", from, to);
}

}  // namespace

void console_evaluation(int detail) {
    if (detail == 1) print_last_move();
    // A search of depth 0 gives the root's quiescence score and leaves the
    // main thread on the game position.
    int16_t depth = options.depth_limit;
    options.depth_limit = 0;
    search_start(FLAG_ANALYSE, 0);
    options.depth_limit = depth;
    search_state.search_flags.store(0);
    SearchThread* t = search_threads[0];
    if (t) eval_display(t->eval, t->pos, search_state.root_qscore, detail);
}

void console_network() {
    if (SearchThread* t = game_copy()) nn_display(t->eval, t->pos);
}

void console_swap() {
    const Position& pos = game.pos;
    char name[3];
    for (int sq = 0; sq < 64; sq++) {
        if (!pos.board[sq]) continue;
        int them = piece_color(pos.board[sq]) ^ 1;
        if (!is_attacked(pos, sq, them)) continue;
        square_name(sq, name);
        print_fmt("sq= %s, swap1= %4d", name, see_move(pos, them, NO_SQUARE, sq));
    }
}

void console_perft(const ConsoleWords& words) {
    long long depth = words.count > 0 ? read_int(words.arg(0)) : 1;
    depth = depth < 1 ? 1 : depth > 20 ? 20 : depth;
    SearchThread* t = game_copy();
    if (!t) return;
    // The same move order on every run, whatever the searches before left behind.
    reset_ordering(t->order);
    clear_killers(*t);
    t->nodes = 0;
    double start = monotonic_seconds();
    perft(*t, t->pos.side, t->plyIndex, int(depth));
    double seconds = monotonic_seconds() - start;
    double nodes = double(t->nodes);
    print_fmt("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, seconds, nodes / (seconds + 0.001));
}

void console_pv() {
    // The root of a search is not in the table: when the last search was of this
    // position, its best move starts the line.
    Move line[MAX_PLY + 2] = {};
    const SearchThread* last = search_threads[0];
    if (last && last->pos.key == game.pos.key && last->pos.side == game.pos.side) line[1] = search_state.best_line[1];
    SearchThread* t = game_copy();
    if (!t) return;
    tt_pv(t->pos, 1, line);
    std::string text;
    char coordinate[MOVE_TEXT_SIZE], san[MOVE_TEXT_SIZE], san_file[MOVE_TEXT_SIZE], san_rank[MOVE_TEXT_SIZE];
    for (int i = 1; i <= MAX_PLY && line[i] != MOVE_NONE && is_legal(t->pos, t->pos.side, line[i]); i++) {
        move_texts(t->pos, line[i], coordinate, san, san_file, san_rank);
        text += san;
        text += ' ';
        make_move(t->pos, line[i]);
    }
    print_fmt("PV: %s", text.c_str());
    print_line("");
    print_board(game.pos);
}

void console_keys() {
    const Position& pos = game.pos;
    print_fmt("%x", uint32_t(pos.key));
    for (int i = game.histIndex - 1; i >= 0; i--) {
        uint64_t key = game.history[i].key;
        print_fmt("%x%s", uint32_t(key), key == pos.key ? " repetition" : "");
    }
}
