// The network's inner loops, written once over a vector backend of simd.h.
#pragma once
#include <cstdint>

#include "eval/nn/accumulator.h"
#include "eval/nn/simd.h"

namespace nn_kernels {

// One block of REGS vectors: start from `base`, apply the row operations in
// order, keep the sums in `saved`, the activated values in `active`, and, when
// `out` is given, add active . out into `dot`. Working block by block keeps a
// block in registers through all the rows, and per value the operations run
// in exactly the listed order, so saturation behaves as if whole rows were applied.
template <class V, int REGS>
inline void accumulate_block(const int16_t* base, const RowOps& ops, int offset, int16_t* saved, int16_t* active,
                             const int16_t* out, typename V::Vec32& dot) {
    typename V::Vec16 x[REGS];
    for (int r = 0; r < REGS; r++) x[r] = V::load(base + offset + r * simd::LANES);
    for (int k = 0; k < ops.count; k++) {
        const int16_t* row = ops.rows[k] + offset;
        if (ops.subtract[k])
            for (int r = 0; r < REGS; r++) x[r] = V::subs(x[r], V::load(row + r * simd::LANES));
        else
            for (int r = 0; r < REGS; r++) x[r] = V::adds(x[r], V::load(row + r * simd::LANES));
    }
    for (int r = 0; r < REGS; r++) {
        const int i = offset + r * simd::LANES;
        V::store(saved + i, x[r]);
        x[r] = V::leaky(x[r]);
        V::store(active + i, x[r]);
        if (out) dot = V::madd(dot, x[r], V::load(out + i));
    }
}

// Whole accumulator of `size` values (a multiple of 16); returns active . out
// (32-bit, wrapping), or 0 without an output row.
template <class V>
inline int32_t accumulate(const int16_t* base, const RowOps& ops, int size, int16_t* saved, int16_t* active,
                          const int16_t* out) {
    typename V::Vec32 dot = V::zero32();
    int i = 0;
    for (; i + 8 * simd::LANES <= size; i += 8 * simd::LANES)
        accumulate_block<V, 8>(base, ops, i, saved, active, out, dot);
    for (; i < size; i += simd::LANES) accumulate_block<V, 1>(base, ops, i, saved, active, out, dot);
    return V::hsum(dot);
}

// a . b over n values of any length, as a wrapping 32-bit sum.
template <class V>
inline int32_t dot(const int16_t* a, const int16_t* b, int n) {
    typename V::Vec32 sum = V::zero32();
    int i = 0;
    for (; i + simd::LANES <= n; i += simd::LANES) sum = V::madd(sum, V::load(a + i), V::load(b + i));
    uint32_t total = uint32_t(V::hsum(sum));
    for (; i < n; i++) total += uint32_t(a[i] * b[i]);
    return int32_t(total);
}

}  // namespace nn_kernels
