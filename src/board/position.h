// Position: the board record (mailbox + bitboards, castling with Chess960 rook
// squares, en passant, fifty-move counter, incremental keys and material).
#pragma once
#include <cstdint>
#include <vector>

#include "board/types.h"

struct ThreadBoard;

// Material signature: 4-bit counts per colour.
constexpr uint32_t MAT_PAWN = 1, MAT_KNIGHT = 16, MAT_BISHOP = 256, MAT_ROOK = 4096, MAT_QUEEN = 65536;
constexpr uint32_t MATERIAL_UNIT[7] = {0, MAT_PAWN, MAT_KNIGHT, MAT_BISHOP, MAT_ROOK, MAT_QUEEN, 0};
constexpr int material_count(uint32_t material, int type) { return (material >> (4 * (type - 1))) & 15; }

// Castling rights, also the index of castleMask/castlePath/castleRook.
enum : uint8_t { WHITE_OO = 1, WHITE_OOO = 2, BLACK_OO = 4, BLACK_OOO = 8 };

struct Position {
    ThreadBoard* owner;        // the thread record holding this position's history
    uint8_t board[64];         // piece code per square
    Bitboard pieces[2][7];     // [colour][0] = all, [1..6] = pawn .. king
    Bitboard touched;          // squares moved from or to since set-up
    Bitboard castleMask[4];    // king square | rook square of each right
    Bitboard castlePath[4];    // squares that must be empty to castle
    uint64_t key;
    uint64_t pawnKey;
    uint32_t material[2];
    uint8_t castleRook[4];     // 64 when the right was never set up
    uint8_t kingSq[2];
    uint8_t side;
    uint8_t epSquare;          // 64 when none
    uint8_t castleRights;
    uint8_t fifty;

    Bitboard occupied() const { return pieces[WHITE][0] | pieces[BLACK][0]; }
    Bitboard bb(int color, int type) const { return pieces[color][type]; }
};

// Undo record, one per move made since set-up.
struct HistoryEntry {
    uint64_t key;
    uint64_t pawnKey;
    Move move;             // as made (castling normalised); 0 for a null move
    uint8_t captured;      // type captured on the destination; 0 for none, en passant, castling
    uint8_t epSquare;
    Bitboard touched;
    uint8_t fifty;
    uint8_t castleRights;
};

inline constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Sets the position from FEN text: 0, or -1 when it is no legal position.
// Refused: placement ranks that run past file h or rank 1 or fall short, a
// missing or second king, touching kings, the side not to move in check, pawns
// on the first or last rank, material no game can reach. An en-passant square
// counts only behind a pawn that can just have made the double step.
// Resets the owner's history. Writes a terminator into text after the half-move field.
int set_fen(Position& pos, char* text);
// No pieces, no castling, no en-passant square, counters 0 (side and history untouched).
void clear_position(Position& pos);
int set_fen(Position& pos, const char* text);  // works on a copy of the text
void set_castling(Position& pos, const char* field);
// Writes FEN; with counters appends " fifty histIndex". buffer: at least 100 bytes.
void write_fen(const Position& pos, char* buffer, int with_counters);
// Splits one EPD line into the FEN fields and the operands of bm am ce sc gr id c0.
// Each output buffer must hold the line's length + 1.
void split_epd(const char* line, char* fen, char* bm, char* am, char* ce, char* sc, char* gr, char* id,
               char* c0);

// The fields of one EPD line in buffers of their own (for tools reading whole files).
struct EpdFields {
    std::vector<char> storage;
    char *fen, *bm, *am, *ce, *sc, *gr, *id, *c0;
};
void split_epd(const char* line, EpdFields& fields);

// From-scratch keys and material (set-up, decoders and tests use them).
uint64_t compute_key(const Position& pos);
uint64_t compute_pawn_key(const Position& pos);
uint32_t compute_material(const Position& pos, int color);

// Places or removes a piece on the mailbox, bitboards and material (no keys).
inline void put_piece(Position& pos, int piece, int sq) {
    int color = piece_color(piece), type = piece_type(piece);
    pos.board[sq] = uint8_t(piece);
    pos.pieces[color][type] |= square_bb(sq);
    pos.pieces[color][0] |= square_bb(sq);
    pos.material[color] += MATERIAL_UNIT[type];
}
inline void remove_piece(Position& pos, int sq) {
    int piece = pos.board[sq], color = piece_color(piece), type = piece_type(piece);
    pos.board[sq] = 0;
    pos.pieces[color][type] &= ~square_bb(sq);
    pos.pieces[color][0] &= ~square_bb(sq);
    pos.material[color] -= MATERIAL_UNIT[type];
}

// Square names "a1" .. "h8"; name must hold 3 bytes. parse_square gives 64 for bad text.
void square_name(int sq, char* name);
int parse_square(const char* text);
