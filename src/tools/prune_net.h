// Shrinks the loaded network's accumulators to the neurons that matter most
// on a training set, written to "pruned.bin".
#pragma once

constexpr int PRUNED_NEURONS = 1408;

// Reads options.training_file (the fixed training-set name when empty),
// measures each neuron's share of the output over the accepted records and
// writes a network of the PRUNED_NEURONS strongest. Networks with that many
// neurons or fewer, or with material nodes or a hidden layer, are refused.
void prune_network();
