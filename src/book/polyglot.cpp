#include "book/polyglot.h"

#include "board/attacks.h"
#include "board/movegen.h"

namespace {

// Promotion piece of the book encoding (1 knight, 2 bishop, 3 rook, 4 queen).
constexpr Move PROMOTION_FLAGS[5] = {0, PROMO_KNIGHT, PROMO_BISHOP, PROMO_ROOK, PROMO_QUEEN};

int promotion_code(Move m) {
    switch (move_flags(m)) {
        case PROMO_KNIGHT:
            return 1;
        case PROMO_BISHOP:
            return 2;
        case PROMO_ROOK:
            return 3;
        default:
            return 4;
    }
}

uint64_t read_big_endian(FILE* file, int bytes, int& status) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; i++) {
        int c = getc(file);
        if (c == EOF) status = 1;
        value = (value << 8) | uint8_t(c);
    }
    return value;
}

int write_big_endian(FILE* file, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; i--)
        if (putc(int((value >> (8 * i)) & 0xFF), file) == EOF) return -1;
    return 0;
}

}  // namespace

uint64_t polyglot_key(const Position& pos) {
    uint64_t key = 0;
    for (int color = WHITE; color <= BLACK; color++) {
        for (int type = PAWN; type <= KING; type++) {
            // Book kinds run black pawn 0, white pawn 1, black knight 2, ... white king 11.
            const int kind = 2 * (type - PAWN) + (color == WHITE ? 1 : 0);
            for (Bitboard b = pos.pieces[color][type]; b;) key ^= Random64[64 * kind + pop_lsb(b)];
        }
    }
    for (int right = 0; right < 4; right++)
        if (pos.castleRights & (1 << right)) key ^= Random64[POLYGLOT_CASTLE + right];
    const int us = pos.side, ep = pos.epSquare;
    if (ep != NO_SQUARE && (PawnAttacks[us ^ 1][ep] & pos.pieces[us][PAWN]))
        key ^= Random64[POLYGLOT_EN_PASSANT + file_of(ep)];
    if (us == WHITE) key ^= Random64[POLYGLOT_TURN];
    return key;
}

int read_book_entry(FILE* file, BookEntry& entry) {
    int status = 0;
    entry.key = read_big_endian(file, 8, status);
    entry.move = uint16_t(read_big_endian(file, 2, status));
    entry.weight = uint16_t(read_big_endian(file, 2, status));
    entry.learn = uint32_t(read_big_endian(file, 4, status));
    return status;
}

int write_book_entry(FILE* file, const BookEntry& entry) {
    if (write_big_endian(file, entry.key, 8) || write_big_endian(file, entry.move, 2) ||
        write_big_endian(file, entry.weight, 2) || write_big_endian(file, entry.learn, 4))
        return -1;
    return 0;
}

uint16_t polyglot_move(const Position& pos, Move m) {
    int from = move_from(m), to = move_to(m), promotion = 0;
    if (is_castling(pos, m)) {
        to = pos.castleRook[castle_right(pos.side, move_flags(m))];
    } else if (move_flags(m) && piece_type(pos.board[from]) == PAWN) {
        promotion = promotion_code(m);
    }
    return uint16_t(promotion << 12 | from << 6 | to);
}

Move from_polyglot_move(const Position& pos, uint16_t book_move) {
    const int to = book_move & 63, from = (book_move >> 6) & 63, promotion = (book_move >> 12) & 7;
    const int piece = pos.board[from], target = pos.board[to];
    if (!piece || piece_color(piece) != pos.side || promotion > 4) return MOVE_NONE;
    if (piece_type(piece) == KING && target == make_piece(pos.side, ROOK)) {
        // The king takes its own rook: castling to that rook's side.
        const bool king_side = to > from;
        return make_move_code(from, (from & 56) + (king_side ? 6 : 2),
                              king_side ? CASTLE_KING_SIDE : CASTLE_QUEEN_SIDE);
    }
    const bool last_rank = square_bb(to) & (RANK_1 | RANK_8);
    if (promotion && !(piece_type(piece) == PAWN && last_rank)) return MOVE_NONE;
    if (!promotion && piece_type(piece) == PAWN && last_rank) return MOVE_NONE;
    return make_move_code(from, to, PROMOTION_FLAGS[promotion]);
}
