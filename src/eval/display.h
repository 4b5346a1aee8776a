// The console's look inside the evaluation: the hand-crafted terms by category
// and side, both evaluators' totals, the parameter table, and the network's
// larger node contributions.
#pragma once
#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/params.h"

// Breakdown of pos as seen by es; qscore is the quiescence score of the last
// root search. detail 2 adds the parameter listing with the piece-square tables.
void eval_display(EvalState& es, const Position& pos, int qscore, int detail);
// One piece-square table: 64 consecutive entries, rank 8 first, mg then eg values.
void print_pst(const char* title, const EvalParam* table);
// The network's nodes contributing more than 20 centipawns, layer by layer.
void nn_display(EvalState& es, const Position& pos);
