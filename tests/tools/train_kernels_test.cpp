// The trainer's float kernels give the same bits through the vector and the
// plain backend, so a portable build trains exactly as the AVX2 build does.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tools/trainer/train_kernels.h"

namespace {

struct Buffers {
    std::vector<float> acc, act, d_acc, grad_w;
};

template <class V>
Buffers run_kernels(const std::vector<float>& weights, const std::vector<int>& features, int H, float dy, float* out) {
    Buffers b{std::vector<float>(H), std::vector<float>(H), std::vector<float>(H), std::vector<float>(H, 0.5f)};
    std::vector<const float*> rows;
    for (int f : features) rows.push_back(weights.data() + size_t(f) * H);
    const float* base = weights.data() + 40 * size_t(H);
    train_kernels::accumulate<V>(b.acc.data(), base, rows.data(), int(rows.size()), H);
    const float* w = weights.data() + 41 * size_t(H);
    *out = train_kernels::activate_dot<V>(b.acc.data(), b.act.data(), w, H);
    train_kernels::backward_output<V>(b.acc.data(), b.act.data(), w, dy, b.d_acc.data(), b.grad_w.data(), H);
    std::vector<float> grads(weights.size(), 0.25f);
    std::vector<float*> grad_rows;
    for (int f : features) grad_rows.push_back(grads.data() + size_t(f) * H);
    train_kernels::scatter<V>(grad_rows.data(), int(grad_rows.size()), b.d_acc.data(), H);
    b.d_acc.insert(b.d_acc.end(), grads.begin(), grads.end());
    return b;
}

}  // namespace

TEST(TrainKernels, VectorAndPlainBackendsAgreeBitForBit) {
    if (!simd::NATIVE_IS_VECTOR) GTEST_SKIP() << "no vector backend in this build";
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int H : {16, 48, 64, 256, 272}) {
        std::vector<float> weights(42 * size_t(H));
        for (float& w : weights) w = value(rng);
        std::vector<int> features;
        for (int k = 0; k < 30; k++) features.push_back(int(rng() % 40));
        float y_vec, y_plain;
        const Buffers vec = run_kernels<simd::Native>(weights, features, H, 0.37f, &y_vec);
        const Buffers plain = run_kernels<simd::Scalar>(weights, features, H, 0.37f, &y_plain);
        EXPECT_EQ(memcmp(&y_vec, &y_plain, sizeof y_vec), 0) << H;
        EXPECT_EQ(vec.acc, plain.acc) << H;
        EXPECT_EQ(vec.act, plain.act) << H;
        EXPECT_EQ(vec.grad_w, plain.grad_w) << H;
        EXPECT_EQ(vec.d_acc, plain.d_acc) << H;
        // Some accumulator values fall below zero, so both slopes were taken.
        EXPECT_TRUE(std::any_of(vec.acc.begin(), vec.acc.end(), [](float x) { return x < 0; }));
    }
}
