// Shared set-up for the board tests: the process-wide tables, fresh thread
// records, legal-move lists and the perft suite reader.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/thread_board.h"

inline int sq(const char* name) { return parse_square(name); }
inline Bitboard bb(const char* name) { return square_bb(parse_square(name)); }
inline Move mv(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

// Attack tables, KPK table and keys, built once per test binary; default options.
void init_board_core();

// A new record holding fen (the test fails when set_fen refuses it).
std::unique_ptr<ThreadBoard> board_from(const char* fen);

// The legal moves of the side to move, in gen_all order (uses the current ply's list).
std::vector<Move> legal_moves(ThreadBoard& tb);

// Finds the legal move with this coordinate text (king-to-destination castling,
// promotions as e7e8q); MOVE_NONE when there is none.
Move find_move(ThreadBoard& tb, const char* coordinate);

struct PerftCase {
    std::string fen;
    std::vector<uint64_t> counts;  // counts[d - 1] for depth d
};
// Reads "FEN ;D1 n ;D2 n ..." lines.
std::vector<PerftCase> read_perft_suite(const std::string& path);

uint64_t run_perft(ThreadBoard& tb, int depth);
