#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "eval/nn/infer.h"
#include "eval/nn/simd.h"
#include "nn_helpers.h"

namespace {

// Two states walking the same positions, one per backend; everything they
// leave behind must be identical, saturated or not.
void expect_backends_agree(const NetworkHeader& h, uint64_t seed, int steps) {
    NNState vec{}, plain{};
    PieceShuffler shuffler(seed);
    Position pos = placement_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE);
    const int H = h.sizes[SIZE_ACC_WHITE], M = h.sizes[SIZE_MATERIAL], N = h.sizes[SIZE_HIDDEN];
    for (int step = 0; step < steps; step++) {
        for (int k = shuffler.pick(3); k >= 0; k--) shuffler.step(pos);
        pos.side = uint8_t(shuffler.pick(2));
        vec.eval_ply = plain.eval_ply = int16_t(1 + shuffler.pick(10));
        ASSERT_EQ(nn_evaluate(vec, pos), nn_evaluate_scalar(plain, pos)) << "step " << step;
        ASSERT_EQ(vec.raw_output, plain.raw_output);
        ASSERT_EQ(memcmp(vec.acc_white, plain.acc_white, H * 2), 0);
        ASSERT_EQ(memcmp(vec.acc_black, plain.acc_black, H * 2), 0);
        ASSERT_EQ(memcmp(vec.cache.saved_white, plain.cache.saved_white, H * 2), 0);
        ASSERT_EQ(memcmp(vec.cache.saved_black, plain.cache.saved_black, H * 2), 0);
        if (M) {
            ASSERT_EQ(memcmp(vec.acc_material, plain.acc_material, M * 2), 0);
        }
        if (N) {
            ASSERT_EQ(memcmp(vec.hidden_values, plain.hidden_values, N * 2), 0);
        }
    }
    nn_state_free(vec);
    nn_state_free(plain);
}

}  // namespace

TEST(NnSimd, VectorAndScalarPathsAgreeOnTheDefaultShapes) {
    install_embedded_network();
    expect_backends_agree(network.header, 1, 3000);
    install_random_network(network.header, 2);
    expect_backends_agree(network.header, 2, 3000);
    install_random_network(DEFAULT_NETWORK_HEADER, 3);
    expect_backends_agree(DEFAULT_NETWORK_HEADER, 3, 1000);
}

// Large weights and biases drive accumulators, material nodes and the hidden
// layer into saturation, wrapping and clamping.
TEST(NnSimd, VectorAndScalarPathsAgreeOnSmallShapesWithMaterialAndHiddenLayers) {
    const NetworkHeader shapes[] = {shaped_header(32, 4, 16), shaped_header(48, 3, 5, 8),
                                    shaped_header(16, 1, 33, 7, 800), shaped_header(272, 7, 0, 8, 804)};
    uint64_t seed = 10;
    for (const NetworkHeader& h : shapes) {
        install_random_network(h, seed, 256, 256);
        expect_backends_agree(h, seed++, 1500);
        install_random_network(h, seed, 1024, 32767);
        expect_backends_agree(h, seed++, 1500);
        install_random_network(h, seed, 32767, 32767);
        expect_backends_agree(h, seed++, 500);
    }
}

// The primitives themselves, on random and extreme values.
TEST(NnSimd, VectorPrimitivesMatchTheirScalarTwins) {
    if (!simd::NATIVE_IS_VECTOR) GTEST_SKIP() << "portable build: the scalar path is the only one";
    using V = simd::Native;
    using S = simd::Scalar;
    std::mt19937_64 rng(5);
    const int16_t edges[] = {-32768, -32767, -64, -63, -1, 0, 1, 63, 64, 32704, 32767};
    for (int round = 0; round < 2000; round++) {
        int16_t a[16], b[16], out_v[16], out_s[16];
        for (int i = 0; i < 16; i++) {
            a[i] = round % 2 ? edges[rng() % 11] : int16_t(rng());
            b[i] = round % 3 ? edges[rng() % 11] : int16_t(rng());
        }
        auto same = [&](auto vec_result, auto scalar_result) {
            V::store(out_v, vec_result);
            S::store(out_s, scalar_result);
            return memcmp(out_v, out_s, sizeof out_v) == 0;
        };
        ASSERT_TRUE(same(V::adds(V::load(a), V::load(b)), S::adds(S::load(a), S::load(b))));
        ASSERT_TRUE(same(V::subs(V::load(a), V::load(b)), S::subs(S::load(a), S::load(b))));
        ASSERT_TRUE(same(V::leaky(V::load(a)), S::leaky(S::load(a))));
        const auto vsum = V::madd(V::madd(V::zero32(), V::load(a), V::load(b)), V::load(b), V::load(b));
        const auto ssum = S::madd(S::madd(S::zero32(), S::load(a), S::load(b)), S::load(b), S::load(b));
        ASSERT_EQ(V::hsum(vsum), S::hsum(ssum));
    }
}
