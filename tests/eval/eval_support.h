// Shared by the evaluation tests: the hand-crafted score, colour-flipped and
// mirrored twins of a position, random networks of any shape, and random
// walks of piece placements.
#pragma once
#include <random>
#include <string>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/nn/accumulator.h"
#include "eval/nn/network.h"
#include "test_support.h"

// Default settings and parameters with the hand-crafted evaluation selected.
void init_eval_tests();
// Hand-crafted score for the side to move, outside the pawn cache.
int hce_of(const Position& pos);
// A position with its own evaluation state: the whole evaluation (rules,
// cache, adjustments) at a search ply, or the hand-crafted one alone at an
// eval_ply (below 2 the pawn cache is not trusted).
struct EvalCase {
    std::unique_ptr<ThreadBoard> tb;
    std::unique_ptr<EvalState> es = std::make_unique<EvalState>();
    explicit EvalCase(const std::string& fen) : tb(board_from(fen)) {}
    ~EvalCase() { nn_state_free(es->nn); }
    int eval(int ply = 1, int in_check = 0) { return evaluate(*es, tb->pos, tb->pos.side, ply, in_check); }
    int hce(int eval_ply = 0) {
        es->eval_ply = int16_t(eval_ply);
        return hce_evaluate(*es, tb->pos);
    }
};
inline int hce_of(const std::string& fen) { return EvalCase(fen).hce(); }

// The placement with colours swapped and the board turned upside down
// (flip), or seen in a mirror between the d and e files; legal or not, with
// no castling rights or en-passant square.
Position transformed(const Position& pos, bool flip);

// A header of the default kind with other sizes.
NetworkHeader shaped_header(int H, int M, int N, int mode = 6, int version = 806, int buckets = 2);
// Installs a network with uniform random weights in [-amplitude, amplitude]
// (biases in [-bias_amplitude, bias_amplitude]).
void install_random_network(const NetworkHeader& h, uint64_t seed, int amplitude = 256, int bias_amplitude = 256);

// A random walk of piece placements: moves, captures, promotions, king steps.
struct PieceShuffler {
    std::mt19937_64 rng;
    explicit PieceShuffler(uint64_t seed) : rng(seed) {}
    void step(Position& pos);
    int pick(int n) { return int(rng() % uint64_t(n)); }
};
