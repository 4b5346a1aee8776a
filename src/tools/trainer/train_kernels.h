// The trainer's inner loops over the float vectors of simd.h: the first
// layer's sums, the activation with the output dot product, and the
// backward pass. Blocks of eight vectors stay in registers across all rows.
#pragma once
#include "eval/nn/simd.h"

namespace train_kernels {

constexpr int BLOCK = 8 * simd::FLANES;  // floats per register block
constexpr float LEAK = 1.0f / 64;        // slope of the activation below zero, as in inference

// acc = base + the rows, over H values (a multiple of 8).
template <class V>
inline void accumulate(float* acc, const float* base, const float* const* rows, int count, int H) {
    int i = 0;
    for (; i + BLOCK <= H; i += BLOCK) {
        typename V::VecF x[8];
        for (int r = 0; r < 8; r++) x[r] = V::loadf(base + i + r * simd::FLANES);
        for (int k = 0; k < count; k++)
            for (int r = 0; r < 8; r++) x[r] = V::addf(x[r], V::loadf(rows[k] + i + r * simd::FLANES));
        for (int r = 0; r < 8; r++) V::storef(acc + i + r * simd::FLANES, x[r]);
    }
    for (; i < H; i += simd::FLANES) {
        typename V::VecF x = V::loadf(base + i);
        for (int k = 0; k < count; k++) x = V::addf(x, V::loadf(rows[k] + i));
        V::storef(acc + i, x);
    }
}

// act = max(acc, acc / 64); returns act . w.
template <class V>
inline float activate_dot(const float* acc, float* act, const float* w, int H) {
    const typename V::VecF leak = V::setf(LEAK);
    typename V::VecF sum = V::setf(0);
    for (int i = 0; i < H; i += simd::FLANES) {
        const typename V::VecF x = V::loadf(acc + i);
        const typename V::VecF a = V::maxf(x, V::mulf(x, leak));
        V::storef(act + i, a);
        sum = V::fmaddf(a, V::loadf(w + i), sum);
    }
    return V::hsumf(sum);
}

// Through the output row: grad_w += dy * act and d_acc = dy * w * (slope of the activation at acc).
template <class V>
inline void backward_output(const float* acc, const float* act, const float* w, float dy, float* d_acc,
                            float* grad_w, int H) {
    const typename V::VecF d = V::setf(dy), one = V::setf(1.0f), leak = V::setf(LEAK);
    for (int i = 0; i < H; i += simd::FLANES) {
        V::storef(grad_w + i, V::fmaddf(d, V::loadf(act + i), V::loadf(grad_w + i)));
        const typename V::VecF slope = V::select_positive(V::loadf(acc + i), one, leak);
        V::storef(d_acc + i, V::mulf(V::mulf(d, V::loadf(w + i)), slope));
    }
}

// Adds d_acc to every row (the feature rows' gradients and the bias gradient).
template <class V>
inline void scatter(float* const* rows, int count, const float* d_acc, int H) {
    int i = 0;
    for (; i + BLOCK <= H; i += BLOCK) {
        typename V::VecF d[8];
        for (int r = 0; r < 8; r++) d[r] = V::loadf(d_acc + i + r * simd::FLANES);
        for (int k = 0; k < count; k++) {
            float* row = rows[k] + i;
            for (int r = 0; r < 8; r++)
                V::storef(row + r * simd::FLANES, V::addf(V::loadf(row + r * simd::FLANES), d[r]));
        }
    }
    for (; i < H; i += simd::FLANES) {
        const typename V::VecF d = V::loadf(d_acc + i);
        for (int k = 0; k < count; k++) V::storef(rows[k] + i, V::addf(V::loadf(rows[k] + i), d));
    }
}

}  // namespace train_kernels
