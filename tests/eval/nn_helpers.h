// Shared by the network tests: positions placed piece by piece, random
// networks of any shape, and a plain re-statement of the evaluation to hold
// the optimised code against.
#pragma once
#include <cstdint>
#include <random>
#include <string>

#include "board/position.h"
#include "eval/nn/network.h"

// The board field of a FEN with `side` to move and no castling (tables built on first use).
Position placement_position(const char* placement, int side);
// The same position seen in a mirror between the d and e files.
Position mirrored_position(const Position& pos);

// A header of the default kind with other sizes.
NetworkHeader shaped_header(int H, int M, int N, int mode = 6, int version = 806, int buckets = 2);
// Installs a network with uniform random weights in [-amplitude, amplitude]
// (biases in [-bias_amplitude, bias_amplitude]).
void install_random_network(const NetworkHeader& h, uint64_t seed, int amplitude = 256, int bias_amplitude = 256);
void install_embedded_network();
// The untrained placeholder: piece values and a few square bonuses.
void install_placeholder_network();

// The evaluation written out step by step, always from the biases.
int reference_evaluate(const Position& pos);

// A random walk of piece placements: moves, captures, promotions, king steps.
struct PieceShuffler {
    std::mt19937_64 rng;
    explicit PieceShuffler(uint64_t seed) : rng(seed) {}
    void step(Position& pos);
    int pick(int n) { return int(rng() % uint64_t(n)); }
};

std::string temp_path(const std::string& name);
