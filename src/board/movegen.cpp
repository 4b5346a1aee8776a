#include "board/movegen.h"

namespace {

constexpr Bitboard INNER_RANKS = ~(RANK_1 | RANK_8);            // ranks 2-7
constexpr Bitboard QUIET_PUSH_RANKS = rank_bb(2) | rank_bb(3) | rank_bb(4) | rank_bb(5);  // ranks 3-6
constexpr Move PROMOTION_FLAGS[4] = {PROMO_QUEEN, PROMO_KNIGHT, PROMO_BISHOP, PROMO_ROOK};

inline MoveEntry* add(MoveEntry* list, int from, int to, Move flags, int piece, int captured) {
    list->move = make_move_code(from, to, flags);
    list->piece = uint8_t(piece);
    list->captured = uint8_t(captured);
    return list + 1;
}

inline MoveEntry* terminate(MoveEntry* list) {
    list->move = MOVE_END;
    return list;
}

// Pawn moves onto each square of dest, the origin being `back` squares behind.
inline MoveEntry* add_pawn_moves(const Position& pos, Bitboard dest, int back, int pawn, MoveEntry* list) {
    while (dest) {
        int to = pop_lsb(dest);
        list = add(list, to - back, to, 0, pawn, pos.board[to]);
    }
    return list;
}

inline Bitboard piece_attacks(int type, int sq, Bitboard occ) {
    switch (type) {
        case KNIGHT: return KnightAttacks[sq];
        case BISHOP: return bishop_attacks(sq, occ);
        case ROOK: return rook_attacks(sq, occ);
        default: return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
    }
}

inline MoveEntry* add_promotions(MoveEntry* list, int from, int to, int pawn, int captured, int all) {
    for (int i = 0; i < (all ? 4 : 1); i++) list = add(list, from, to, PROMOTION_FLAGS[i], pawn, captured);
    return list;
}

}  // namespace

MoveEntry* gen_piece_moves(const Position& pos, int c, int type, Bitboard dest, Bitboard occ, MoveEntry* list) {
    int piece = make_piece(c, type);
    for (Bitboard b = pos.pieces[c][type]; b;) {
        int from = pop_lsb(b);
        for (Bitboard to_set = piece_attacks(type, from, occ) & dest; to_set;) {
            int to = pop_lsb(to_set);
            list = add(list, from, to, 0, piece, pos.board[to]);
        }
    }
    return list;
}

MoveEntry* gen_captures(const Position& pos, int c, MoveEntry* list, int target) {
    Bitboard targets = target == NO_SQUARE ? pos.pieces[c ^ 1][0] : square_bb(target);
    Bitboard pawn_targets = targets;
    if (pos.epSquare != NO_SQUARE) pawn_targets |= square_bb(pos.epSquare);
    pawn_targets &= INNER_RANKS;
    Bitboard pawns = pos.pieces[c][PAWN];
    int pawn = make_piece(c, PAWN);
    if (c == WHITE) {
        list = add_pawn_moves(pos, ((pawns & ~FILE_A) << 7) & pawn_targets, 7, pawn, list);
        list = add_pawn_moves(pos, ((pawns & ~FILE_H) << 9) & pawn_targets, 9, pawn, list);
    } else {
        list = add_pawn_moves(pos, ((pawns & ~FILE_A) >> 9) & pawn_targets, -9, pawn, list);
        list = add_pawn_moves(pos, ((pawns & ~FILE_H) >> 7) & pawn_targets, -7, pawn, list);
    }
    Bitboard occ = pos.occupied();
    for (int type = KNIGHT; type <= QUEEN; type++) list = gen_piece_moves(pos, c, type, targets, occ, list);
    int king = pos.kingSq[c];
    for (Bitboard b = KingAttacks[king] & pos.pieces[c ^ 1][0]; b;) {
        int to = pop_lsb(b);
        list = add(list, king, to, 0, make_piece(c, KING), pos.board[to]);
    }
    return terminate(list);
}

MoveEntry* gen_promotions(const Position& pos, int c, int all, MoveEntry* list) {
    int pawn = make_piece(c, PAWN), dir = pawn_dir(c);
    Bitboard enemy = pos.pieces[c ^ 1][0];
    for (Bitboard b = pos.pieces[c][PAWN] & relative_rank_bb(c, 6); b;) {
        int from = pop_lsb(b), ahead = from + dir;
        if (!pos.board[ahead]) list = add_promotions(list, from, ahead, pawn, 0, all);
        if (file_of(from) > 0 && (enemy & square_bb(ahead - 1)))
            list = add_promotions(list, from, ahead - 1, pawn, pos.board[ahead - 1], all);
        if (file_of(from) < 7 && (enemy & square_bb(ahead + 1)))
            list = add_promotions(list, from, ahead + 1, pawn, pos.board[ahead + 1], all);
    }
    return terminate(list);
}

MoveEntry* gen_pawn_pushes(const Position& pos, int c, Bitboard dest, Bitboard occ, MoveEntry* list) {
    int pawn = make_piece(c, PAWN), dir = pawn_dir(c);
    Bitboard single = push_bb(c, pos.pieces[c][PAWN]) & ~occ;
    Bitboard twice = push_bb(c, single) & ~occ & relative_rank_bb(c, 3) & dest;
    list = add_pawn_moves(pos, single & dest, dir, pawn, list);
    list = add_pawn_moves(pos, twice, 2 * dir, pawn, list);
    return terminate(list);
}

MoveEntry* gen_queen_moves(const Position& pos, int c, Bitboard dest, Bitboard occ, MoveEntry* list) {
    return terminate(gen_piece_moves(pos, c, QUEEN, dest, occ, list));
}

MoveEntry* gen_seventh_pushes(const Position& pos, int c, MoveEntry* list) {
    Bitboard to_set = push_bb(c, pos.pieces[c][PAWN] & relative_rank_bb(c, 5)) & ~pos.occupied();
    return terminate(add_pawn_moves(pos, to_set, pawn_dir(c), make_piece(c, PAWN), list));
}

MoveEntry* gen_quiets(const Position& pos, int c, MoveEntry* list, int check) {
    Bitboard occ = pos.occupied(), empty = ~occ;
    int king = pos.kingSq[c];
    Bitboard dest = check == NO_SQUARE ? empty : Between[king][check] & empty;
    list = gen_pawn_pushes(pos, c, dest & QUIET_PUSH_RANKS, occ, list);
    for (int type = KNIGHT; type <= QUEEN; type++) list = gen_piece_moves(pos, c, type, dest, occ, list);
    int kpiece = make_piece(c, KING);
    for (Bitboard b = KingAttacks[king] & empty; b;) list = add(list, king, pop_lsb(b), 0, kpiece, 0);
    int base = king & 56;
    for (int side = 0; side < 2; side++) {
        int right = c * 2 + side;
        if ((pos.castleRights & (1 << right)) && !(pos.castlePath[right] & occ))
            list = add(list, king, base + (side ? 2 : 6), side ? CASTLE_QUEEN_SIDE : CASTLE_KING_SIDE, kpiece, 0);
    }
    return terminate(list);
}

void gen_all(Position& pos) {
    ThreadBoard& tb = *pos.owner;
    PlyRecord& ply = tb.current_ply();
    int c = pos.side;
    MoveEntry* end = gen_captures(pos, c, ply.moves, NO_SQUARE);
    end = gen_promotions(pos, c, 1, end);
    end = gen_seventh_pushes(pos, c, end);
    end = gen_quiets(pos, c, end, NO_SQUARE);
    ply.cursor = ply.moves;
    ply.listEnd = end;
}

bool gives_check(const Position& pos, int c, Move m) {
    int from = move_from(m), to = move_to(m);
    if (from == to) return false;
    int type = piece_type(pos.board[from]);
    int placed = type == PAWN && move_flags(m) ? promotion_type(m) : type;
    Bitboard own[7];
    for (int t = PAWN; t <= KING; t++) own[t] = pos.pieces[c][t];
    own[placed] |= square_bb(to);
    Bitboard o = (pos.occupied() ^ square_bb(from)) | square_bb(to);
    int k = pos.kingSq[c ^ 1];
    Bitboard attackers = (PawnAttacks[c ^ 1][k] & own[PAWN]) | (KnightAttacks[k] & own[KNIGHT]) |
                         (KingAttacks[k] & own[KING]) | (bishop_attacks(k, o) & (own[BISHOP] | own[QUEEN])) |
                         (rook_attacks(k, o) & (own[ROOK] | own[QUEEN]));
    return (attackers & o) != 0;
}

int move_props(const Position& pos, int c, const MoveEntry& entry) {
    Move m = entry.move;
    int to = move_to(m);
    int type = piece_type(pos.board[move_from(m)]);
    int props = 0;
    if (entry.captured || (type == PAWN && to == pos.epSquare)) props |= PROP_CAPTURE;
    if (gives_check(pos, c, m)) props |= PROP_CHECK;
    if (type != PAWN) return props;
    switch (relative_rank(c, to)) {
        case 7: props |= PROP_PROMOTE; break;
        case 6: props |= PROP_SEVENTH; break;
        case 5:
            if (!pos.board[to]) props |= PROP_SIXTH;
            break;
    }
    return props;
}
