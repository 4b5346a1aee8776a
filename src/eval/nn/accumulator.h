// Per-thread network state and the first layer's bookkeeping: which feature
// rows belong to a position, and whether the last accumulators can be brought
// up to date by adding and removing a few rows instead of rebuilding them.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "eval/nn/network.h"

// The accumulators of a thread's last network evaluation, before activation,
// and the position they belong to.
struct AccumulatorCache {
    int16_t* saved_white;   // [H]
    int16_t* saved_black;   // [H2]
    Bitboard pieces[2][7];
    Bitboard occupied;
    int16_t ply;
    uint16_t mirror_white;  // 0 or 7
    uint16_t flip_black;    // 56 or 63; 0 in a fresh cache, which therefore never matches
    uint32_t bucket_white;  // 0 or 768
    uint32_t bucket_black;
};

// The network part of a search thread's record. Buffers come from the first
// evaluation with the sizes of the network then loaded, and are made again
// when a network of other sizes is loaded.
struct NNState {
    int16_t* acc_white;      // [H] activated after an evaluation
    int16_t* acc_black;      // [H2]
    int16_t* acc_material;   // [M]
    int16_t* hidden_values;  // [N]
    AccumulatorCache cache;
    uint16_t piece_counts[10];  // pawns .. queens, each as [white, black]
    int16_t mat_white;          // non-pawn material in units (minor 3, rook 5, queen 10 or 6)
    int16_t mat_black;
    int32_t output_bucket;
    float raw_output;           // network output before output_scale
    int16_t eval_ply;           // set by the caller; 2 or less forces a rebuild

    void* memory;         // the one allocation behind the six buffers
    uint32_t generation;  // network.generation the buffers were made for
    int16_t sizes[4];     // the network sizes the buffers were made for
};

// How each perspective sees the board: king-side mirroring and input bucket.
struct FeatureView {
    uint16_t mirror_white;
    uint16_t flip_black;
    uint32_t bucket_white;
    uint32_t bucket_black;
};

// Feature rows (of feature_weights) of a piece for the white and black accumulators.
inline int white_feature(const FeatureView& v, int color, int type, int sq) {
    return int(v.bucket_white) + (color == WHITE ? 0 : 384) + (type - 1) * 64 + (sq ^ v.mirror_white);
}
inline int black_feature(const FeatureView& v, int color, int type, int sq) {
    return int(v.bucket_black) + (color == BLACK ? 0 : 384) + (type - 1) * 64 + (sq ^ v.flip_black);
}

// Fills piece_counts, mat_white and mat_black from the material signatures.
void nn_count_material(NNState& st, const Position& pos);
int nn_output_bucket(int mode, int mat_white, int mat_black, int pawns);
FeatureView nn_feature_view(const NetworkHeader& h, const Position& pos, int mat_white, int mat_black);
// True when the cached accumulators may be updated to `pos` instead of rebuilt.
bool nn_can_update(const NNState& st, const FeatureView& view, const Position& pos);

// Rows to add to or subtract from one accumulator, in the order they must be applied
// (saturation makes the order matter). Each square contributes at most four rows.
constexpr int MAX_ROW_OPS = 256;
struct RowOps {
    const int16_t* rows[MAX_ROW_OPS];
    uint8_t subtract[MAX_ROW_OPS];
    int count;
};
struct AccumulatorPlan {
    RowOps white, black;
};
void plan_rebuild(AccumulatorPlan& plan, const FeatureView& view, const Position& pos);
void plan_update(AccumulatorPlan& plan, const FeatureView& view, const AccumulatorCache& cache, const Position& pos);

// Makes the buffers match the loaded network: 0, or -1 when allocation fails.
int nn_prepare_state(NNState& st);
void nn_state_free(NNState& st);
