// The evaluation entry point of the search: endgame rules, the per-thread
// evaluation cache, the choice of evaluator, contempt, noise and fifty-move scaling.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "eval/hce.h"
#include "eval/nn/accumulator.h"

constexpr int EVAL_CACHE_SIZE = 8192;  // entries 0..4095 white to move, 4096..8191 black

struct EvalCacheEntry {
    uint64_t key;
    int16_t value;
};

// Everything a search thread keeps for evaluating. Zero-filled with the thread record.
struct EvalState {
    uint64_t eval_calls;
    uint64_t eval_hits;
    int16_t eval_ply;          // ply of the last call
    uint16_t piece_counts[10]; // pawns, knights, bishops, rooks, queens, each [white, black]
    EvalCacheEntry cache[EVAL_CACHE_SIZE];
    HceState hce;
    NNState nn;                // accumulators and their cache; buffers owned (nn_state_free)
};

// What the evaluation takes from the search it serves: written by the search
// driver before its threads start, read by all of them.
struct EvalContext {
    uint8_t root_side;   // contempt favours the side to move at the root
    uint8_t analysis;    // fixed-limit searches (tools, benchmark, console) take no contempt
    int16_t game_plies;  // plies the game had made at the root: no contempt in its first few
    int32_t noise_seed;  // drawn anew for each search, so noise is stable within one
};
extern EvalContext eval_context;

// Endings answered by rule instead of by an evaluator (bare minors, mop-up, KBNK,
// KPK); true with the score for `side` when one applies.
bool endgame_rule(const Position& pos, int side, int& score);

// Score for `side` (the side to move). inCheck nonzero gives -3000.
int evaluate(EvalState& es, const Position& pos, int side, int ply, int inCheck);

// Hand-crafted score for the side to move of a game position, as the "eval" command reports it.
int hce_score(EvalState& es, const Position& pos);
// Network score for the side to move of a game position, as the "eval" command reports it.
int nne_score(EvalState& es, const Position& pos);
