#include "board/see.h"

#include "board/movegen.h"

int see_gain(const Position& pos, int c, int s, int target, Bitboard occ) {
    // Walk the capture sequence forward, then fold the stand-or-capture choices back.
    int taken[64];
    int n = 0, result = 0;
    while (true) {
        int attacker = least_attacker(pos, s, c, occ);
        if (attacker == NO_SQUARE) break;
        if (target == KING) {
            result = SEE_KING_TAKEN;
            break;
        }
        taken[n++] = SEE_VALUE[target];
        target = piece_type(pos.board[attacker]);
        occ ^= square_bb(attacker);
        c ^= 1;
    }
    while (n) {
        int gain = taken[--n] - result;
        result = gain > 0 ? gain : 0;
    }
    return result;
}

int see_move(const Position& pos, int c, int origin, int destination) {
    int victim = piece_type(pos.board[destination]);
    if (origin == NO_SQUARE) return see_gain(pos, c, destination, victim, pos.occupied());
    int value = SEE_VALUE[victim];
    Bitboard occ = pos.occupied() ^ square_bb(origin);
    if (least_attacker(pos, destination, c ^ 1, occ) == NO_SQUARE) return value;
    int mover = piece_type(pos.board[origin]);
    if (mover == KING) return value - SEE_KING_TAKEN;
    return value - see_gain(pos, c ^ 1, destination, mover, occ);
}

int see_ok(const Position& pos, Move m) {
    int from = move_from(m), to = move_to(m);
    int mover = piece_type(pos.board[from]), victim = piece_type(pos.board[to]);
    if (SEE_RANK[mover] <= SEE_RANK[victim] || (mover == PAWN && to == pos.epSquare)) return 1;
    int c = piece_color(pos.board[from]);
    Bitboard occ = pos.occupied() ^ square_bb(from);
    if (least_attacker(pos, to, c ^ 1, occ) == NO_SQUARE) return 1;
    if (mover == KING) return SEE_VALUE[victim] - SEE_KING_TAKEN >= -50;
    return SEE_VALUE[victim] - see_gain(pos, c ^ 1, to, mover, occ) >= -50;
}
