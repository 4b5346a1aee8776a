#include "board/perft.h"

#include <cstring>

#include "board/move.h"
#include "board/movegen.h"
#include "board/movepick.h"
#include "board/notation.h"
#include "core/io.h"

namespace {

void prepare_ply(const Position& pos, PlyRecord& pr, int c) {
    int checker = least_attacker(pos, pos.kingSq[c], c ^ 1, pos.occupied());
    pr.captureTarget = uint8_t(checker);
    pr.inCheck = checker != NO_SQUARE;
    pr.hashMove = MOVE_NONE;
    pr.cursor = pr.moves;
    pr.genMode = GEN_FULL_WIDTH;
    pr.stage = STAGE_START;
}

}  // namespace

void perft(ThreadBoard& tb, int c, int ply, int depth) {
    Position& pos = tb.pos;
    PlyRecord& pr = tb.ply[ply];
    prepare_ply(pos, pr, c);
    while (MoveEntry* e = next_move(pos)) {
        pr.cursor = e;
        Move m = e->move;
        if (m == MOVE_NONE || !is_legal(pos, c, m)) continue;
        if (depth == 1) {
            tb.nodes++;
            continue;
        }
        make_move(pos, m);
        perft(tb, c ^ 1, ply + 1, depth - 1);
        unmake_move(pos);
    }
}

uint64_t perft_divide(ThreadBoard& tb, int depth) {
    if (depth < 1) depth = 1;
    if (depth > 20) depth = 20;
    Position& pos = tb.pos;
    int saved_ply = tb.plyIndex, c = pos.side;
    reset_ordering(tb.order);
    clear_killers(tb);
    tb.plyIndex = 1;
    tb.nodes = 0;
    PlyRecord& pr = tb.ply[1];
    prepare_ply(pos, pr, c);
    char text[MOVE_TEXT_SIZE];
    while (MoveEntry* e = next_move(pos)) {
        pr.cursor = e;
        Move m = e->move;
        if (m == MOVE_NONE || !is_legal(pos, c, m)) continue;
        uint64_t before = tb.nodes;
        if (depth == 1) {
            tb.nodes++;
        } else {
            make_move(pos, m);
            perft(tb, c ^ 1, 2, depth - 1);
            unmake_move(pos);
        }
        move_text(pos, c, m, text);
        print_fmt("%s: %llu", text, (unsigned long long)(tb.nodes - before));
    }
    print_fmt("Nodes searched: %llu", (unsigned long long)tb.nodes);
    tb.plyIndex = int16_t(saved_ply);
    return tb.nodes;
}

void print_board(const Position& pos) {
    char text[512];
    write_fen(pos, text, 1);
    char* out = text + strlen(text);
    *out++ = '\n';
    for (int rank = 7; rank >= 0; rank--) {
        *out++ = ' ';
        for (int file = 0; file < 8; file++) {
            int piece = pos.board[make_square(file, rank)];
            *out++ = ' ';
            if (piece)
                *out++ = " PNBRQK  onbrqk "[piece];
            else
                *out++ = (rank & 1) == (file & 1) ? '+' : '-';
        }
        *out++ = '\n';
    }
    strcpy(out, pos.side == WHITE ? "white\n\n" : "black\n\n");
    print_text(text);
}
