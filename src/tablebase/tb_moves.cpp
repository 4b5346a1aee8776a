#include "tablebase/tb_moves.h"

#include <utility>

#include "board/attacks.h"

namespace {

int side_to_move(const TbPosition& p) { return p.turn ? WHITE : BLACK; }
uint64_t men_of(const TbPosition& p, int color) { return color == WHITE ? p.white : p.black; }

const uint64_t& kind_of(const TbPosition& p, int type) {
    switch (type) {
        case PAWN: return p.pawns;
        case KNIGHT: return p.knights;
        case BISHOP: return p.bishops;
        case ROOK: return p.rooks;
        case QUEEN: return p.queens;
        default: return p.kings;
    }
}
uint64_t& kind_of(TbPosition& p, int type) { return const_cast<uint64_t&>(kind_of(std::as_const(p), type)); }

int type_on(const TbPosition& p, int sq) {
    uint64_t b = square_bb(sq);
    if (p.pawns & b) return PAWN;
    if (p.knights & b) return KNIGHT;
    if (p.bishops & b) return BISHOP;
    if (p.rooks & b) return ROOK;
    if (p.queens & b) return QUEEN;
    return p.kings & b ? KING : NO_TYPE;
}

uint64_t piece_attacks(int type, int sq, uint64_t occ) {
    switch (type) {
        case KNIGHT: return KnightAttacks[sq];
        case BISHOP: return bishop_attacks(sq, occ);
        case ROOK: return rook_attacks(sq, occ);
        case QUEEN: return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
        default: return KingAttacks[sq];
    }
}

bool attacked_by(const TbPosition& p, int sq, int by) {
    uint64_t them = men_of(p, by), occ = p.white | p.black;
    return (PawnAttacks[by ^ 1][sq] & p.pawns & them) || (KnightAttacks[sq] & p.knights & them) ||
           (KingAttacks[sq] & p.kings & them) || (bishop_attacks(sq, occ) & (p.bishops | p.queens) & them) ||
           (rook_attacks(sq, occ) & (p.rooks | p.queens) & them);
}

// A pawn reaching the last rank becomes each of the four pieces in turn.
TbMove* add_pawn_move(int from, int to, TbMove* list) {
    if (rank_of(to) != 0 && rank_of(to) != 7) {
        *list++ = tb_move(from, to);
        return list;
    }
    for (int promote = TB_PROMOTE_QUEEN; promote <= TB_PROMOTE_KNIGHT; promote++) *list++ = tb_move(from, to, promote);
    return list;
}

TbMove* generate(const TbPosition& p, TbMove* list, bool captures_only) {
    int us = side_to_move(p);
    uint64_t own = men_of(p, us), them = men_of(p, us ^ 1), occ = own | them;
    uint64_t target = captures_only ? them : ~own;
    for (int type = KNIGHT; type <= KING; type++) {
        for (uint64_t b = tb_pieces(p, us, type); b;) {
            int from = pop_lsb(b);
            for (uint64_t to = piece_attacks(type, from, occ) & target; to;) *list++ = tb_move(from, pop_lsb(to));
        }
    }
    int step = us == WHITE ? 8 : -8;
    for (uint64_t b = p.pawns & own; b;) {
        int from = pop_lsb(b);
        for (uint64_t to = PawnAttacks[us][from] & them; to;) list = add_pawn_move(from, pop_lsb(to), list);
        if (p.ep && (PawnAttacks[us][from] & square_bb(p.ep))) *list++ = tb_move(from, p.ep);
        if (captures_only) continue;
        int one = from + step;
        if (occ & square_bb(one)) continue;
        list = add_pawn_move(from, one, list);
        int start_rank = us == WHITE ? 1 : 6;
        if (rank_of(from) == start_rank && !(occ & square_bb(one + step))) *list++ = tb_move(from, one + step);
    }
    return list;
}

}  // namespace

TbPosition tb_position_from(const Position& pos, int rule50) {
    TbPosition p{};
    p.white = pos.pieces[WHITE][0];
    p.black = pos.pieces[BLACK][0];
    for (int type = PAWN; type <= KING; type++) kind_of(p, type) = pos.pieces[WHITE][type] | pos.pieces[BLACK][type];
    p.rule50 = uint8_t(rule50);
    p.ep = pos.epSquare == NO_SQUARE ? 0 : pos.epSquare;
    p.turn = pos.side == WHITE;
    return p;
}

uint64_t tb_pieces(const TbPosition& pos, int color, int type) {
    return kind_of(pos, type) & men_of(pos, color);
}

TbMove* tb_gen_captures(const TbPosition& pos, TbMove* list) { return generate(pos, list, true); }
TbMove* tb_gen_moves(const TbPosition& pos, TbMove* list) { return generate(pos, list, false); }

bool tb_in_check(const TbPosition& pos) {
    int us = side_to_move(pos);
    uint64_t king = tb_pieces(pos, us, KING);
    return king && attacked_by(pos, lsb(king), us ^ 1);
}

bool tb_is_en_passant(const TbPosition& pos, TbMove move) {
    return pos.ep && tb_move_to(move) == pos.ep && (pos.pawns & square_bb(tb_move_from(move)));
}

bool tb_is_capture(const TbPosition& pos, TbMove move) {
    return ((pos.white | pos.black) & square_bb(tb_move_to(move))) || tb_is_en_passant(pos, move);
}

bool tb_do_move(TbPosition& after, const TbPosition& pos, TbMove move) {
    int us = side_to_move(pos), from = tb_move_from(move), to = tb_move_to(move);
    int type = type_on(pos, from);
    bool capture = tb_is_capture(pos, move);
    after = pos;
    uint64_t& own = us == WHITE ? after.white : after.black;
    uint64_t& them = us == WHITE ? after.black : after.white;
    int taken = tb_is_en_passant(pos, move) ? to + (us == WHITE ? -8 : 8) : to;
    if (capture) {
        kind_of(after, type_on(pos, taken)) &= ~square_bb(taken);
        them &= ~square_bb(taken);
    }
    own ^= square_bb(from) | square_bb(to);
    kind_of(after, type) &= ~square_bb(from);
    int promote = tb_move_promote(move);
    kind_of(after, promote ? KING - promote : type) |= square_bb(to);

    after.rule50 = capture || type == PAWN ? 0 : uint8_t(pos.rule50 < 255 ? pos.rule50 + 1 : 255);
    after.ep = 0;
    if (type == PAWN && (to - from == 16 || from - to == 16)) {
        int passed = (from + to) / 2;
        if (PawnAttacks[us][passed] & after.pawns & them) after.ep = uint8_t(passed);
    }
    after.turn = pos.turn ^ 1;
    uint64_t king = tb_pieces(after, us, KING);
    return king && !attacked_by(after, lsb(king), us ^ 1);
}

bool tb_is_mate(const TbPosition& pos) {
    if (!tb_in_check(pos)) return false;
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, moves);
    TbPosition after;
    for (TbMove* m = moves; m < end; m++)
        if (tb_do_move(after, pos, *m)) return false;
    return true;
}
