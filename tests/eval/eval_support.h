// Shared by the evaluation tests: the hand-crafted score, colour-flipped and
// mirrored twins of a position, random networks of any shape, and random
// walks of piece placements.
#pragma once
#include <random>
#include <string>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/nn/network.h"

// Default settings and parameters with the hand-crafted evaluation selected.
void init_eval_tests();
// Hand-crafted score for the side to move, outside the pawn cache.
int hce_of(const Position& pos);
int hce_of(const std::string& fen);
// The placement with colours swapped and the board turned upside down
// (flip), or seen in a mirror between the d and e files; legal or not, with
// no castling rights or en-passant square.
Position transformed(const Position& pos, bool flip);

// A header of the default kind with other sizes.
NetworkHeader shaped_header(int H, int M, int N, int mode = 6, int version = 806, int buckets = 2);
// Installs a network with uniform random weights in [-amplitude, amplitude]
// (biases in [-bias_amplitude, bias_amplitude]).
void install_random_network(const NetworkHeader& h, uint64_t seed, int amplitude = 256, int bias_amplitude = 256);
void install_embedded_network();

// A random walk of piece placements: moves, captures, promotions, king steps.
struct PieceShuffler {
    std::mt19937_64 rng;
    explicit PieceShuffler(uint64_t seed) : rng(seed) {}
    void step(Position& pos);
    int pick(int n) { return int(rng() % uint64_t(n)); }
};
