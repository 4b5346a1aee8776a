// The network as the trainer holds it: the same blocks and shape as the
// engine's file format (no material nodes, no hidden layer), in single
// precision at the real scale (1.0 = internal 1024), with the forward and
// backward passes for one position.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "board/position.h"
#include "eval/nn/network.h"

// One position as the network sees it: the feature rows of both
// accumulators (the engine's own indexing and buckets) and its output bucket.
struct TrainSample {
    uint16_t white[32];
    uint16_t black[32];
    uint8_t count;
    uint8_t side;
    uint8_t bucket;
    float target;  // probability the score should predict
};

void make_sample(const NetworkHeader& h, const Position& pos, float target, TrainSample& s);

struct TrainNet {
    NetworkHeader header{};
    int H = 0;
    std::vector<float> params;  // every weight, in the file's block order
    size_t bias_white = 0, bias_black = 0, out_own = 0, out_other = 0;  // block offsets (features at 0)

    float* features() { return params.data(); }
    const float* features() const { return params.data(); }
};

// The trainer's shape: version 806 bucket rule, six output buckets by material.
NetworkHeader trainer_header(int hidden, int input_buckets = 2);

// Random start, reproducible from the seed: 0, or -1 for a shape the trainer cannot train.
int train_net_create(TrainNet& net, const NetworkHeader& h, uint32_t seed);
// Starts from a loaded network (no material nodes, no hidden layer): 0 or -1.
int train_net_from_network(TrainNet& net, const Network& source);
// Widens a network to `hidden` neurons and `input_buckets` buckets without
// changing a single output: new neurons get small random feature rows and
// zero output weights, a new input bucket starts as a copy of the first.
// 0, or -1 when the shape would shrink or cannot be trained.
int train_net_grow(TrainNet& net, int hidden, int input_buckets, uint32_t seed);
// The weights as the engine stores them internally: rounded to 1/1024, within +-1.
void train_net_quantize(const TrainNet& net, std::vector<int16_t>& weights);
// Moves every weight onto the engine's grid, so the trainer sees what the engine will.
void train_net_snap(TrainNet& net);
// Writes the network file: 0 or -1.
int train_net_save(const TrainNet& net, const char* path);
// Makes the trained weights the engine's current network: 0 or -1.
int train_net_install(const TrainNet& net);

// Per-thread buffers of the passes.
struct TrainScratch {
    std::vector<float> acc[2], act[2], d_acc[2];  // by accumulator (white, black)
    explicit TrainScratch(int H);
};

// Network output (centipawns / output_scale) for one sample.
float train_net_output(const TrainNet& net, const TrainSample& s, TrainScratch& scratch);
// The output as the engine reports it: centipawns rounded half away from zero, within +-3000.
int train_net_score(const TrainNet& net, const TrainSample& s, TrainScratch& scratch);
// Predicted probability: win_probability of the score, before rounding.
float train_net_probability(const TrainNet& net, float output);
// One sample's forward and backward pass: adds its gradient (of the squared
// error between probability and target) into grad; returns the squared error.
float train_net_backward(const TrainNet& net, const TrainSample& s, TrainScratch& scratch, float* grad);
