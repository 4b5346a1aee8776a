// The network trainer of the train build ("make train"): mini-batch Adam on
// the squared error between the network's win probability and the decoder's
// target, on all cores, with a held-out validation share, progress on
// standard error and a checkpoint after every epoch.
#pragma once
#include <cstdint>

#include "tools/records.h"
#include "tools/trainer/train_net.h"

struct TrainerConfig {
    uint64_t positions = 1000000;  // training positions to process (accepted records, all epochs)
    uint32_t batch = 16384;
    float learning_rate = 0.001f;  // Adam step at the start; it falls along a cosine to 5% of it
    float weight_decay = 0;        // each step shrinks every weight by rate x weight_decay x weight
    float result_weight = DEFAULT_RESULT_WEIGHT;  // -blend
    int threads = 2;
    uint32_t seed = 1;             // the decoder's thinning and the shuffles
    bool hold_out = true;          // keep the last 2% of the records (at most 200000) for validation
    const char* checkpoint_prefix = nullptr;  // "<prefix>-<epoch>.net" after every epoch when set
    double report_seconds = 10;    // progress lines on standard error; 0 = none
};

struct TrainReport {
    double first_loss = 0;       // mean squared error of the first batch
    double last_loss = 0;        // mean squared error of the last epoch's batches
    double validation_loss = -1; // float network on the held-out records (-1: none held out)
    double engine_loss = -1;     // the same through the engine's integer inference (quantised weights)
    uint64_t positions = 0;
    int epochs = 0;              // epochs completed
    double seconds = 0;
};

// The decoder's verdict, and a quiet position: a static evaluation cannot see
// a capture that wins material, yet the search score of such a position
// counts it, so those records (and positions in check) would only teach noise.
bool usable_training_record(const PackedPosition* records, uint32_t index, Position& pos, float& target,
                            float result_weight = DEFAULT_RESULT_WEIGHT);

// Trains net on the usable records among [0, count). The records' decoder thinning draws from
// training_random(), which the trainer seeds with config.seed: the result
// depends only on the data, the start network and the config. 0, or -1 when
// no record is usable.
int train_network(TrainNet& net, const PackedPosition* records, uint32_t count, const TrainerConfig& config,
                  TrainReport& report);

// The -train (fresh network) and -train2 (continue from the network loaded at
// start-up) modes on options.training_file. Extra switches of this build:
// -hidden N (accumulator size of a fresh network, default 256), -buckets N
// (its input buckets, 1 or 2, default 2), -wd X (weight decay, default 0), -seed N,
// -blend W (share of the game result in the target, default 0.25).
// With -train2, -hidden and -buckets widen the loaded network first (train_net_grow).
// flag 1 (the third value after the count) trains on every record, without a validation share.
int run_trainer(int mode, int flag, int argc, char** argv);
