// Shared by the evaluation tests: the hand-crafted score of a FEN, colour-
// flipped and mirrored FEN twins, random networks of any shape, and random
// walks of piece placements.
#pragma once
#include <random>
#include <string>

#include "board/position.h"
#include "eval/evaluate.h"
#include "eval/nn/network.h"

// Default settings and parameters with the hand-crafted evaluation selected.
void init_eval_tests();
// Hand-crafted score of a FEN for the side to move, on a fresh state.
int hce_of(const std::string& fen);
// The same position with colours swapped (board turned upside down), or
// mirrored left to right (only meaningful without castling rights).
std::string flip_fen(const std::string& fen);
std::string mirror_fen(const std::string& fen);

// A header of the default kind with other sizes.
NetworkHeader shaped_header(int H, int M, int N, int mode = 6, int version = 806, int buckets = 2);
// Installs a network with uniform random weights in [-amplitude, amplitude]
// (biases in [-bias_amplitude, bias_amplitude]).
void install_random_network(const NetworkHeader& h, uint64_t seed, int amplitude = 256, int bias_amplitude = 256);
void install_embedded_network();

// The same placement seen in a mirror between the d and e files (legal or not).
Position mirrored_position(const Position& pos);

// A random walk of piece placements: moves, captures, promotions, king steps.
struct PieceShuffler {
    std::mt19937_64 rng;
    explicit PieceShuffler(uint64_t seed) : rng(seed) {}
    void step(Position& pos);
    int pick(int n) { return int(rng() % uint64_t(n)); }
};
