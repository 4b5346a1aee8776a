// Network evaluation of one thread's position.
#pragma once
#include "board/position.h"
#include "eval/nn/accumulator.h"

// Score in centipawns for the side to move, within [-3000, 3000]; -10001 when
// the thread's buffers cannot be allocated. Reads st.eval_ply (set by the
// caller) and leaves the activated layers, buckets and raw output in st.
int nn_evaluate(NNState& st, const Position& pos);
// The same through the plain-loop backend, whatever the build: the vector
// path must match it bit for bit.
int nn_evaluate_scalar(NNState& st, const Position& pos);
