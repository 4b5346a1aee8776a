// Shared set-up for the evaluation tests: tables, options and the default
// parameters, thread records and evaluation states, and colour-flipped and
// mirrored FEN twins.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "board/thread_board.h"
#include "eval/evaluate.h"

// Tables, keys, default options (hand-crafted evaluation selected) and the default parameter text.
void init_eval_tests();

std::unique_ptr<ThreadBoard> board_at(const std::string& fen);
std::unique_ptr<EvalState> fresh_eval_state();

// Hand-crafted score of a FEN for the side to move, on a fresh state.
int hce_of(const std::string& fen);

// The same position with colours swapped (board turned upside down, side and rights swapped).
std::string flip_fen(const std::string& fen);
// The same position mirrored left to right (only meaningful without castling rights).
std::string mirror_fen(const std::string& fen);
