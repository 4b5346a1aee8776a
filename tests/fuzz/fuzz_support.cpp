#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "core/settings.h"
#include "eval/nn/network.h"
#include "eval/params.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "search/tt.h"

const char* const FUZZ_OPENINGS[4] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2",
    "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1",
};

ThreadBoard& fuzz_start_engine() {
    static bool started = [] {
        if (start_engine_records() != 0) abort();
        options.hash_mb = 2;
        if (!tt_allocate()) abort();
        init_eval_params();
        load_param_text(default_param_text);
        load_network();
        return true;
    }();
    (void)started;
    return game;
}

const std::string& fuzz_scratch_dir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/quox-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        return std::string(pattern);
    }();
    return dir;
}

void fuzz_write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
}

namespace {

// What went wrong, where, before the harness stops (shown when an input is run on its own).
[[noreturn]] void fail(const char* what, const Position& pos, const char* move = "") {
    char fen[128];
    write_fen(pos, fen, 1);
    fprintf(stderr, "%s: %s %s\n", what, fen, move);
    abort();
}

}  // namespace

void fuzz_check_position(ThreadBoard& tb) {
    Position& pos = tb.pos;
    if (compute_key(pos) != pos.key || compute_pawn_key(pos) != pos.pawnKey) fail("keys", pos);

    // FEN written and read back gives the same position.
    static ThreadBoard* copy = [] {
        auto* b = new ThreadBoard;
        init_thread_board(*b);
        return b;
    }();
    char fen[128];
    write_fen(pos, fen, 0);
    if (set_fen(copy->pos, fen) != 0 || copy->pos.key != pos.key) fail("FEN round trip", pos);

    // Every legal move: its texts read back as the same move, and making and
    // unmaking it leaves the position as it was.
    Move legal[LIST_CAP];
    int count = 0;
    tb.plyIndex = 1;
    gen_all(pos);
    for (const MoveEntry* e = tb.ply[1].moves; e->move != MOVE_END; e++)
        if (is_legal(pos, pos.side, e->move)) legal[count++] = e->move;
    const uint64_t key = pos.key;
    for (int i = 0; i < count; i++) {
        char coordinate[MOVE_TEXT_SIZE], san[MOVE_TEXT_SIZE], by_file[MOVE_TEXT_SIZE], by_rank[MOVE_TEXT_SIZE];
        move_texts(pos, legal[i], coordinate, san, by_file, by_rank);
        // SAN follows the one-rival disambiguation rule, which three like
        // pieces (or a pinned rival) can defeat, and in Chess960 set-ups a
        // castling's other coordinate form can be a king step's text: such a
        // text is refused as ambiguous, but it is never read as another move.
        Move read;
        if (parse_move(tb, coordinate, read) && read != legal[i]) fail("coordinate read back", pos, coordinate);
        if (parse_move(tb, san, read) && read != legal[i]) fail("SAN read back", pos, san);
        make_move(pos, legal[i]);
        if (compute_key(pos) != pos.key) fail("keys after", pos, coordinate);
        unmake_move(pos);
        if (pos.key != key) fail("keys after unmaking", pos, coordinate);
    }
}
