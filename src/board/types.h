// Squares, bitboards, pieces and the 16-bit move: the vocabulary of the whole engine.
#pragma once
#include <bit>
#include <cstdint>

using Bitboard = uint64_t;
using Move = uint16_t;

// Square = rank * 8 + file, a1 = 0 ... h8 = 63; 64 = no square.
constexpr int NO_SQUARE = 64;
enum Color : int { WHITE = 0, BLACK = 1 };

// Piece codes: type | colour << 3. Type = code & 7, colour = (code >> 3) & 1.
enum PieceType : int { NO_TYPE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };
constexpr int make_piece(int color, int type) { return type | (color << 3); }
constexpr int piece_type(int piece) { return piece & 7; }
constexpr int piece_color(int piece) { return (piece >> 3) & 1; }

// Move: to in bits 0-5, from in bits 8-13, flags 0x0040, 0x0080, 0x4000, 0x8000.
// With a king the flags mean castling (0x40 king-side, 0x80 queen-side);
// with a pawn a promotion (0x40 queen, 0x80 knight, 0x4000 bishop, 0x8000 rook).
constexpr Move MOVE_NONE = 0;
constexpr Move MOVE_END = 0xFFFF;  // ends a move list
constexpr Move MOVE_FLAGS = 0xC0C0;
constexpr Move CASTLE_KING_SIDE = 0x0040;
constexpr Move CASTLE_QUEEN_SIDE = 0x0080;
constexpr Move PROMO_QUEEN = 0x0040;
constexpr Move PROMO_KNIGHT = 0x0080;
constexpr Move PROMO_BISHOP = 0x4000;
constexpr Move PROMO_ROOK = 0x8000;

constexpr int move_to(Move m) { return m & 63; }
constexpr int move_from(Move m) { return (m >> 8) & 63; }
constexpr Move move_flags(Move m) { return m & MOVE_FLAGS; }
constexpr Move make_move_code(int from, int to, Move flags = 0) { return Move((from << 8) | to | flags); }
// Promotion piece type for a pawn move carrying flags (queen for any unknown value).
constexpr int promotion_type(Move m) {
    switch (move_flags(m)) {
        case PROMO_KNIGHT: return KNIGHT;
        case PROMO_BISHOP: return BISHOP;
        case PROMO_ROOK: return ROOK;
        default: return QUEEN;
    }
}

constexpr int file_of(int sq) { return sq & 7; }
constexpr int rank_of(int sq) { return sq >> 3; }
constexpr int make_square(int file, int rank) { return rank * 8 + file; }
constexpr Bitboard square_bb(int sq) { return Bitboard(1) << sq; }
constexpr int square_distance(int a, int b) {
    int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}

inline int popcount(Bitboard b) { return std::popcount(b); }
inline int lsb(Bitboard b) { return std::countr_zero(b); }
inline int msb(Bitboard b) { return 63 - std::countl_zero(b); }
inline int pop_lsb(Bitboard& b) {
    int sq = lsb(b);
    b &= b - 1;
    return sq;
}

constexpr Bitboard FILE_A = 0x0101010101010101ull;
constexpr Bitboard FILE_H = FILE_A << 7;
constexpr Bitboard RANK_1 = 0xFFull;
constexpr Bitboard RANK_8 = RANK_1 << 56;
constexpr Bitboard rank_bb(int rank) { return RANK_1 << (8 * rank); }
constexpr Bitboard file_bb(int file) { return FILE_A << file; }
