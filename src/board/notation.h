// Move text: coordinate notation (UCI, with both Chess960 castling forms),
// standard algebraic notation, and reading either back against the legal moves.
#pragma once
#include "board/position.h"
#include "board/thread_board.h"

constexpr int MOVE_TEXT_SIZE = 16;  // room for any text below and its terminator

// Coordinate text of colour c's move; "null" for MOVE_NONE. Promotions read
// e7e8q in UCI mode and e7e8=Q otherwise; castling is king-to-destination, or
// king-takes-rook when UCI_Chess960 is on.
void move_text(const Position& pos, int c, Move m, char* buffer);

// The four texts of a move of the side to move, before it is made:
// coordinate (promotions always e7e8=Q), SAN, and SAN with the origin file or
// rank (for castling the other coordinate form). Each buffer holds MOVE_TEXT_SIZE.
void move_texts(const Position& pos, Move m, char* coordinate, char* san, char* san_file, char* san_rank);

// Matches text (coordinate or SAN, with or without "+", "=", O-O or 0-0)
// against the legal moves of tb's position. 1 with the move when exactly one
// matches; otherwise 0 and MOVE_NONE, printing "ambiguous move" when several do.
// Uses ply record 1 of tb for the move list.
int parse_move(ThreadBoard& tb, const char* text, Move& out);
