// Pseudo-legal move generation in groups, the attack tests and the
// per-move legality test. Generators write entries from `list` on, end them
// with a MOVE_END entry and return the position of that terminator, so the
// next generator can continue there. Scores are left as they were.
#pragma once
#include "board/attacks.h"
#include "board/position.h"
#include "board/thread_board.h"

constexpr int pawn_dir(int color) { return color == WHITE ? 8 : -8; }
// Rank index relative to the colour: 0 = own first rank ... 7 = own last rank.
constexpr int relative_rank(int color, int sq) { return color == WHITE ? rank_of(sq) : 7 - rank_of(sq); }
constexpr Bitboard relative_rank_bb(int color, int rank) { return rank_bb(color == WHITE ? rank : 7 - rank); }
constexpr Bitboard push_bb(int color, Bitboard b) { return color == WHITE ? b << 8 : b >> 8; }

// Castling right index (bit number in castleRights) for a colour and side.
constexpr int castle_right(int color, Move flags) { return color * 2 + (flags == CASTLE_KING_SIDE ? 0 : 1); }
constexpr bool is_castling(const Position& pos, Move m) {
    return (m & MOVE_FLAGS) && piece_type(pos.board[move_from(m)]) == KING;
}

// Is square s attacked by colour c, with occupancy occ.
inline bool attacked_through(const Position& pos, int s, int c, Bitboard occ) {
    const Bitboard* own = pos.pieces[c];
    if ((PawnAttacks[c ^ 1][s] & own[PAWN]) | (KnightAttacks[s] & own[KNIGHT]) | (KingAttacks[s] & own[KING])) return true;
    for (Bitboard b = BishopFull[s] & (own[BISHOP] | own[QUEEN]); b;)
        if (!(Between[pop_lsb(b)][s] & occ)) return true;
    for (Bitboard b = RookFull[s] & (own[ROOK] | own[QUEEN]); b;)
        if (!(Between[pop_lsb(b)][s] & occ)) return true;
    return false;
}

inline bool is_attacked(const Position& pos, int s, int c) { return attacked_through(pos, s, c, pos.occupied()); }

namespace detail {
// First piece of `set` (ascending) with a clear line to s through o; 64 when none.
inline int first_clear(Bitboard set, int s, Bitboard o) {
    while (set) {
        int sq = pop_lsb(set);
        if (!(Between[sq][s] & o)) return sq;
    }
    return NO_SQUARE;
}
}  // namespace detail

// Colour c's least valuable attacker of s among its pieces inside o; 64 when none.
// Taking a square out of o both drops that piece and opens the lines through it.
inline int least_attacker(const Position& pos, int s, int c, Bitboard o) {
    const Bitboard* own = pos.pieces[c];
    Bitboard b = PawnAttacks[c ^ 1][s] & own[PAWN] & o;
    if (b) return lsb(b);
    b = KnightAttacks[s] & own[KNIGHT] & o;
    if (b) return lsb(b);
    int sq = detail::first_clear(BishopFull[s] & own[BISHOP] & o, s, o);
    if (sq != NO_SQUARE) return sq;
    sq = detail::first_clear(RookFull[s] & own[ROOK] & o, s, o);
    if (sq != NO_SQUARE) return sq;
    sq = detail::first_clear((BishopFull[s] | RookFull[s]) & own[QUEEN] & o, s, o);
    if (sq != NO_SQUARE) return sq;
    b = KingAttacks[s] & own[KING] & o;
    return b ? lsb(b) : NO_SQUARE;
}

// Castling is legal when no square the king stands on or crosses is attacked.
// The castling rook leaves the occupancy: in Chess960 it may stand between an
// enemy slider on the back rank and the king's destination.
inline int castling_is_legal(const Position& pos, int c, Move m) {
    int right = castle_right(c, move_flags(m));
    int from = move_from(m), rook = pos.castleRook[right];
    if (rook == NO_SQUARE) return 0;
    int to = (from & 56) + (move_flags(m) == CASTLE_KING_SIDE ? 6 : 2);
    Bitboard occ = pos.occupied() & ~square_bb(rook);
    int step = to > from ? 1 : -1;
    for (int sq = from;; sq += step) {
        if (attacked_through(pos, sq, c ^ 1, occ)) return 0;
        if (sq == to) return 1;
    }
}

// Is the pseudo-legal move m of colour c legal: 0/1, 0 for MOVE_NONE.
inline int is_legal(const Position& pos, int c, Move m) {
    if (m == MOVE_NONE) return 0;
    int from = move_from(m), to = move_to(m);
    int type = piece_type(pos.board[from]);
    if (type == KING && (m & MOVE_FLAGS)) return castling_is_legal(pos, c, m);
    const Bitboard* enemy = pos.pieces[c ^ 1];
    Bitboard o = (pos.occupied() ^ square_bb(from)) | square_bb(to);
    Bitboard live = ~square_bb(to);  // a captured piece attacks nothing
    int k = type == KING ? to : pos.kingSq[c];
    if (type == PAWN && to == pos.epSquare) {
        Bitboard taken = square_bb(to - pawn_dir(c));
        o ^= taken;
        live ^= taken;
    }
    if ((PawnAttacks[c][k] & enemy[PAWN] & live) | (KnightAttacks[k] & enemy[KNIGHT] & live) |
        (KingAttacks[k] & enemy[KING]))
        return 0;
    Bitboard diagonal = BishopFull[k] & (enemy[BISHOP] | enemy[QUEEN]) & live;
    if (diagonal && (bishop_attacks(k, o) & diagonal)) return 0;
    Bitboard straight = RookFull[k] & (enemy[ROOK] | enemy[QUEEN]) & live;
    if (straight && (rook_attacks(k, o) & straight)) return 0;
    return 1;
}

// Move classes for the search's extensions and reductions.
enum : int {
    PROP_CAPTURE = 1,    // capture or en passant
    PROP_CHECK = 2,      // gives check (direct or discovered by the moving piece)
    PROP_PROMOTE = 4,    // pawn to the last rank
    PROP_SEVENTH = 8,    // pawn to the seventh rank
    PROP_SIXTH = 16,     // pawn push to an empty sixth-rank square
};
int move_props(const Position& pos, int c, const MoveEntry& entry);
// Does colour c's move put the moving piece (the promoted one for a promotion)
// where it, or a line it opens, attacks the enemy king. The rook of a castling
// move and the pawn taken en passant are not considered; false when origin = destination.
bool gives_check(const Position& pos, int c, Move m);

MoveEntry* gen_captures(const Position& pos, int c, MoveEntry* list, int target);
MoveEntry* gen_promotions(const Position& pos, int c, int all, MoveEntry* list);
MoveEntry* gen_pawn_pushes(const Position& pos, int c, Bitboard dest, Bitboard occ, MoveEntry* list);
MoveEntry* gen_queen_moves(const Position& pos, int c, Bitboard dest, Bitboard occ, MoveEntry* list);
// Knight, bishop or rook moves of colour c into dest (type's pieces in ascending squares).
MoveEntry* gen_piece_moves(const Position& pos, int c, int type, Bitboard dest, Bitboard occ, MoveEntry* list);
// Pushes of own pawns from the sixth rank onto an empty seventh, ascending origin.
MoveEntry* gen_seventh_pushes(const Position& pos, int c, MoveEntry* list);
MoveEntry* gen_quiets(const Position& pos, int c, MoveEntry* list, int check);
// Every pseudo-legal move into the current ply's list; the cursor goes to its start.
void gen_all(Position& pos);
