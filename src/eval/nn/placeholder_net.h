// The untrained network that stood in before the first trained one: material
// and a few square bonuses written straight into the weights. The tests use it
// as a network whose scores are known; it is stored in nets/ and a test checks
// that this generator still reproduces it.
#pragma once
#include "eval/nn/network.h"

constexpr NetworkHeader PLACEHOLDER_HEADER = {806, 4096, 200, 2, 6, 0, 0, {256, 256, 0, 0}, 0};

// Fills a network allocated with PLACEHOLDER_HEADER.
void build_placeholder_network(Network& net);
// Writes the placeholder network file: 0 or -1.
int write_placeholder_network(const char* path);
