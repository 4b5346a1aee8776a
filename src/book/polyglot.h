// The Polyglot opening-book format: the position key made from the published
// Random64 table, the 16-byte big-endian entry, and the format's move
// encoding (castling as the king taking its own rook).
#pragma once
#include <cstdint>
#include <cstdio>

#include "board/position.h"

constexpr int POLYGLOT_RANDOM_SIZE = 781;
constexpr int POLYGLOT_CASTLE = 768;      // white king side, white queen side, black king side, black queen side
constexpr int POLYGLOT_EN_PASSANT = 772;  // + file of the square
constexpr int POLYGLOT_TURN = 780;        // white to move
extern const uint64_t Random64[POLYGLOT_RANDOM_SIZE];

constexpr int BOOK_ENTRY_SIZE = 16;

struct BookEntry {
    uint64_t key;
    uint16_t move;    // to bits 0-5, from bits 6-11, promotion piece bits 12-14 (1 knight .. 4 queen)
    uint16_t weight;  // 0 = never chosen
    uint32_t learn;   // carried, never used
};

// The book key of the position. Independent of the position's own keys: the
// side to move is part of it, and an en-passant square only counts when a
// pawn of the side to move can capture there.
uint64_t polyglot_key(const Position& pos);

// Reads one entry, every field most significant byte first: 0, or 1 when the
// file ends inside the entry.
int read_book_entry(FILE* file, BookEntry& entry);
// Writes one entry in the same byte order: 0, or -1 on a write error.
int write_book_entry(FILE* file, const BookEntry& entry);

// The book encoding of a move of the side to move in pos (before it is made).
uint16_t polyglot_move(const Position& pos, Move m);
// The engine's move for a book move in pos, or MOVE_NONE when the encoding
// cannot name a move there (no own piece on the origin, an unknown promotion
// piece). Whether the move is legal is the caller's business.
Move from_polyglot_move(const Position& pos, uint16_t book_move);
