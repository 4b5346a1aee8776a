// Network inference: random walks on long-lived states (the incremental path)
// against the scalar backend, fresh states and mirror images; buckets, clamp.

#include <cstring>

#include "eval/nn/infer.h"
#include "eval_support.h"
#include "test_support.h"

namespace {

struct State {
    NNState st{};
    ~State() { nn_state_free(st); }
    int eval(const Position& pos, int ply = 5, bool scalar = false) {
        st.eval_ply = int16_t(ply);
        return scalar ? nn_evaluate_scalar(st, pos) : nn_evaluate(st, pos);
    }
};

Position position_of(const std::string& fen) { return board_from(fen)->pos; }

bool same(const int16_t* a, const int16_t* b, int n) { return n == 0 || memcmp(a, b, size_t(n) * 2) == 0; }

// Walks `steps` positions; the vector and the scalar state must leave
// identical results, saturated or not. With `exact` nothing saturates, so a
// fresh state (which rebuilds) and the mirror image agree too.
void walk(const NetworkHeader& h, uint64_t seed, int steps, bool exact) {
    const int H = h.sizes[SIZE_ACC_WHITE], M = h.sizes[SIZE_MATERIAL], N = h.sizes[SIZE_HIDDEN];
    State vec, plain, mirror;
    PieceShuffler shuffler(seed);
    Position pos = position_of(START_FEN);
    for (int step = 0; step < steps; step++) {
        for (int k = shuffler.pick(3); k >= 0; k--) shuffler.step(pos);
        pos.side = uint8_t(shuffler.pick(2));
        const int ply = 1 + shuffler.pick(8), score = vec.eval(pos, ply);
        ASSERT_EQ(plain.eval(pos, ply, true), score) << "step " << step;
        ASSERT_EQ(vec.st.raw_output, plain.st.raw_output);
        ASSERT_TRUE(same(vec.st.acc_white, plain.st.acc_white, H) && same(vec.st.acc_black, plain.st.acc_black, H) &&
                    same(vec.st.cache.saved_white, plain.st.cache.saved_white, H) &&
                    same(vec.st.cache.saved_black, plain.st.cache.saved_black, H) &&
                    same(vec.st.acc_material, plain.st.acc_material, M) && same(vec.st.hidden_values, plain.st.hidden_values, N));
        if (!exact) continue;
        State fresh;
        ASSERT_EQ(fresh.eval(pos, ply), score) << "step " << step;
        ASSERT_EQ(mirror.eval(transformed(pos, false), ply), score) << "step " << step;
    }
}

}  // namespace

// Shapes covering every bucket rule, material nodes, the hidden layer and
// short vector tails; then weights that drive every layer into saturation.
TEST(NnInfer, BackendsFreshStatesAndMirrorsAgreeAlongRandomWalks) {
    const NetworkHeader shapes[] = {shaped_header(256, 0, 0),         shaped_header(64, 0, 0, 8, 806),
                                    shaped_header(32, 5, 0, 6, 803),  shaped_header(48, 3, 16, 8, 800),
                                    shaped_header(16, 2, 5, 7, 806, 1), shaped_header(272, 7, 0, 8, 804)};
    int seed = 100;
    for (const NetworkHeader& h : shapes) {
        install_random_network(h, seed);
        ASSERT_NO_FATAL_FAILURE(walk(h, seed++, 500, true));
        install_random_network(h, seed, 1024, 32767);
        ASSERT_NO_FATAL_FAILURE(walk(h, seed++, 300, false));
        install_random_network(h, seed, 32767, 32767);
        ASSERT_NO_FATAL_FAILURE(walk(h, seed++, 200, false));
    }
    load_network_file("embedded");
    ASSERT_NO_FATAL_FAILURE(walk(network.header, seed, 1000, false));
}

TEST(NnInfer, BucketsAtTheirBoundaries) {
    NetworkHeader h = shaped_header(16, 0, 0);
    NNState st{};
    auto view_of = [&](const char* placement) {
        const Position pos = position_of(std::string(placement) + " w - -");
        nn_count_material(st, pos);
        return nn_feature_view(h, pos, st.mat_white, st.mat_black);
    };
    auto buckets = [&](const char* placement) {
        const FeatureView v = view_of(placement);
        return std::pair{int(v.bucket_white), int(v.bucket_black)};
    };
    // version 806: the larger side's units below 10 select 768 for both views;
    // a queen counts 10, or 6 with no minor piece or rook beside it.
    EXPECT_EQ(buckets("7k/8/8/8/8/8/8/R2RK3"), std::pair(0, 0));
    EXPECT_EQ(st.mat_white, 10);
    EXPECT_EQ(buckets("3k4/8/8/8/8/8/8/1NBBK3"), std::pair(768, 768));
    view_of("7k/8/8/8/8/8/8/3QK2r");
    EXPECT_EQ(st.mat_white * 100 + st.mat_black, 605);
    view_of("7k/8/8/8/8/8/8/2NQK2r");
    EXPECT_EQ(st.mat_white, 13);
    // versions 801-805: both sides' units together below 21.
    h.version = 803;
    EXPECT_EQ(buckets("rr1k4/8/8/8/8/8/8/RR2K3"), std::pair(768, 768));  // 20 units
    EXPECT_EQ(buckets("rr1k4/8/8/8/8/8/8/RR1NK3"), std::pair(0, 0));     // 23
    // versions up to 800: each king leaving its own first three ranks.
    h.version = 800;
    EXPECT_EQ(buckets("8/8/8/8/8/3k4/8/7K"), std::pair(0, 768));  // black king on d3
    EXPECT_EQ(buckets("3k4/8/8/8/K7/8/8/8"), std::pair(768, 0));  // white king on a4 = 24
    EXPECT_EQ(buckets("8/8/3k4/8/8/7K/8/8"), std::pair(0, 0));    // h3 = 23; d6
    h.input_buckets = 1;
    EXPECT_EQ(buckets("8/8/8/8/8/3k4/8/7K"), std::pair(0, 0));
    // Mirroring: own king on files e-h in each view.
    EXPECT_EQ(view_of("3k4/8/8/8/8/8/8/4K3").mirror_white, 0);
    EXPECT_EQ(view_of("4k3/8/8/8/8/8/8/3K4").mirror_white, 7);
    EXPECT_EQ(view_of("3k4/8/8/8/8/8/8/4K3").flip_black, 63);
    EXPECT_EQ(view_of("4k3/8/8/8/8/8/8/3K4").flip_black, 56);
    // Output buckets: mode, units of each side, pawns.
    const int outputs[][5] = {{6, 0, 0, 12, 5},  {6, 32, 32, 16, 0}, {6, 10, 5, 0, 3},  {6, 10, 4, 0, 4},
                              {8, 32, 32, 16, 7}, {8, 0, 0, 6, 0},   {8, 0, 0, 2, 0},   {8, 10, 10, 11, 3},
                              {8, 10, 10, 10, 2}, {7, 32, 32, 16, 0}};
    for (auto [mode, w, b, pawns, bucket] : outputs)
        EXPECT_EQ(nn_output_bucket(mode, w, b, pawns), bucket) << mode << " " << w << " " << b << " " << pawns;
}

// Scores are clamped to 3000; buffers follow the loaded network's sizes;
// accumulators of an earlier network are never reused; without weights there
// is no evaluation; the trained network knows that a queen is a lot.
TEST(NnInfer, ClampNetworkChangesAndTheEmbeddedNetwork) {
    const Position start = position_of(START_FEN);
    State s;
    install_random_network(shaped_header(32, 0, 0), 5, 1024, 30000);
    for (int16_t* out : {network.outputs[OUT_OWN], network.outputs[OUT_OTHER]})
        for (int i = 0; i < 8 * 32; i++) out[i] = 1024;
    EXPECT_EQ(std::abs(s.eval(start, 1)), 3000);
    EXPECT_GT(std::abs(s.st.raw_output) * 200, 3000.5f);
    const void* before = s.st.memory;
    for (auto [shape, seed] : {std::pair{shaped_header(32, 0, 0), 2}, {shaped_header(512, 6, 20), 3}, {shaped_header(16, 0, 0), 4}}) {
        install_random_network(shape, seed);
        State fresh;
        EXPECT_EQ(s.eval(start), fresh.eval(start)) << shape.sizes[0];
        EXPECT_EQ(s.st.sizes[SIZE_HIDDEN], shape.sizes[SIZE_HIDDEN]);
        if (seed == 2) { EXPECT_EQ(s.st.memory, before); }
    }
    EXPECT_EQ(s.st.hidden_values, nullptr);
    network_free(network);
    testing::internal::CaptureStdout();
    EXPECT_EQ(s.eval(start), -10001);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error initializing NN!\n");
    load_network_file("embedded");
    const char* queen_odds = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
    // Self-play from book lines values having the move at up to a pawn and a half.
    EXPECT_LT(std::abs(s.eval(start, 1)), 150);
    EXPECT_GT(s.eval(position_of(std::string(queen_odds) + " w - -"), 1), 500);
    EXPECT_LT(s.eval(position_of(std::string(queen_odds) + " b - -"), 1), -500);
}
