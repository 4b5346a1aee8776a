#include <gtest/gtest.h>

#include <cstring>

#include "eval/nn/infer.h"
#include "core/settings.h"
#include "nn_helpers.h"

namespace {

const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

struct State {
    NNState st{};
    ~State() { nn_state_free(st); }
    int eval(const Position& pos, int ply = 5) {
        st.eval_ply = int16_t(ply);
        return nn_evaluate(st, pos);
    }
};

// Number of row operations the next evaluation of pos would apply, or -1 for a rebuild.
int update_rows(const NNState& st, const Position& pos) {
    NNState probe = st;
    nn_count_material(probe, pos);
    const FeatureView view = nn_feature_view(network.header, pos, probe.mat_white, probe.mat_black);
    if (!nn_can_update(st, view, pos)) return -1;
    static AccumulatorPlan plan;
    plan_update(plan, view, st.cache, pos);
    return plan.white.count;
}

}  // namespace

// Random walks through piece placements, evaluated with one long-lived state
// (mostly the update path) and against the plain re-statement, for shapes
// covering every bucket rule, material nodes, the hidden layer and short
// tails. Nothing saturates with these weights, so updating and rebuilding agree.
TEST(NnInfer, UpdatedAndRebuiltEvaluationsMatchThePlainReStatement) {
    struct Shape { NetworkHeader h; };
    const NetworkHeader shapes[] = {
        shaped_header(256, 0, 0),          shaped_header(64, 0, 0, 8, 806),     shaped_header(32, 5, 0, 6, 803),
        shaped_header(48, 3, 16, 8, 800),  shaped_header(16, 2, 5, 7, 806, 1), shaped_header(32, 0, 9, 6, 801),
    };
    int updates = 0, rebuilds = 0, n = 0;
    for (const NetworkHeader& h : shapes) {
        install_random_network(h, 100 + n++);
        State kept;
        PieceShuffler shuffler(n);
        Position pos = placement_position(START, WHITE);
        for (int step = 0; step < 600; step++) {
            shuffler.step(pos);
            pos.side = uint8_t(shuffler.pick(2));
            const int ply = 1 + shuffler.pick(8);
            kept.st.eval_ply = int16_t(ply);
            (update_rows(kept.st, pos) >= 0 ? updates : rebuilds)++;
            const int score = kept.eval(pos, ply);
            State fresh;
            ASSERT_EQ(score, reference_evaluate(pos)) << "shape " << n << " step " << step;
            ASSERT_EQ(fresh.eval(pos, ply), score);
            ASSERT_EQ(memcmp(fresh.st.cache.saved_white, kept.st.cache.saved_white, h.sizes[0] * 2), 0);
            ASSERT_EQ(memcmp(fresh.st.cache.saved_black, kept.st.cache.saved_black, h.sizes[0] * 2), 0);
            ASSERT_EQ(fresh.st.raw_output, kept.st.raw_output);
        }
    }
    EXPECT_GT(updates, 1000);
    EXPECT_GT(rebuilds, 500);
}

// The rebuild path saturates exactly where the plain re-statement does.
TEST(NnInfer, SaturatedAccumulatorsMatchThePlainReStatement) {
    install_random_network(shaped_header(64, 4, 8), 9, 1024, 30000);
    PieceShuffler shuffler(3);
    Position pos = placement_position(START, WHITE);
    for (int step = 0; step < 300; step++) {
        shuffler.step(pos);
        State fresh;
        ASSERT_EQ(fresh.eval(pos, 1), reference_evaluate(pos)) << step;
    }
}

TEST(NnInfer, UpdateOrRebuildFollowsTheChangedSquaresKingsBucketsAndPly) {
    install_random_network(shaped_header(32, 0, 0), 4);
    State s;
    Position pos = placement_position(START, WHITE);
    EXPECT_EQ(update_rows(s.st, pos), -1);  // a fresh cache never matches
    const int first = s.eval(pos);
    EXPECT_EQ(update_rows(s.st, pos), 0);  // same position: update with nothing to do
    EXPECT_EQ(s.eval(pos), first);
    s.st.eval_ply = 2;
    EXPECT_EQ(update_rows(s.st, pos), -1);  // plies 1 and 2 always rebuild
    s.st.eval_ply = 3;

    // Seven changed white squares update, eight rebuild.
    Position seven = placement_position("rnbqkbnr/pppppppp/8/8/PPP5/8/4PPPP/RNBQKBNR", WHITE);
    EXPECT_EQ(update_rows(s.st, seven), 7);  // three pawns moved, one gone
    Position eight = placement_position("rnbqkbnr/pppppppp/8/8/PPPPP3/8/5PPP/RNBQKBNR", WHITE);
    EXPECT_EQ(update_rows(s.st, eight), -1);

    // A king crossing between the d and e files changes the mirroring.
    Position king_d1 = placement_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBK1BNR", WHITE);
    EXPECT_EQ(update_rows(s.st, king_d1), -1);
    Position king_f1 = placement_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1KNR", WHITE);
    EXPECT_EQ(update_rows(s.st, king_f1), 3);  // bishop off, king off e1 and on f1
    Position black_king_d8 = placement_position("rnbk1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE);
    EXPECT_EQ(update_rows(s.st, black_king_d8), -1);

    // Leaving the input bucket of much material rebuilds.
    s.eval(placement_position("r3k3/8/8/8/8/8/8/R2QK3", WHITE));  // 15 units for white: bucket 0
    EXPECT_EQ(update_rows(s.st, placement_position("r3k3/8/8/8/8/8/8/R3K3", WHITE)), -1);  // 5 units
    EXPECT_EQ(update_rows(s.st, placement_position("r3k3/8/8/8/8/8/8/R1Q1K3", WHITE)), 2);
}

TEST(NnInfer, BucketsAtTheirBoundaries) {
    NetworkHeader h = shaped_header(16, 0, 0);
    NNState st{};
    auto view_of = [&](const char* placement) {
        const Position pos = placement_position(placement, WHITE);
        nn_count_material(st, pos);
        return nn_feature_view(h, pos, st.mat_white, st.mat_black);
    };
    // version 806: max(units) 10 keeps bucket 0, 9 selects 768 for both views.
    FeatureView v = view_of("7k/8/8/8/8/8/8/R2RK3");
    EXPECT_EQ(st.mat_white, 10);
    EXPECT_EQ(v.bucket_white + v.bucket_black, 0u);
    v = view_of("3k4/8/8/8/8/8/8/R1BBK3");
    EXPECT_EQ(st.mat_white, 11);
    v = view_of("3k4/8/8/8/8/8/8/1NBBK3");
    EXPECT_EQ(st.mat_white, 9);
    EXPECT_EQ(v.bucket_white, 768u);
    EXPECT_EQ(v.bucket_black, 768u);
    // A queen with no minor piece or rook beside it counts 6.
    view_of("7k/8/8/8/8/8/8/3QK2r");
    EXPECT_EQ(st.mat_white, 6);
    EXPECT_EQ(st.mat_black, 5);
    view_of("7k/8/8/8/8/8/8/2NQK2r");
    EXPECT_EQ(st.mat_white, 13);

    // versions 801-805: both sides' units together below 21.
    h.version = 803;
    v = view_of("rr1k4/8/8/8/8/8/8/RR2K3");  // 20 units
    EXPECT_EQ(v.bucket_white, 768u);
    EXPECT_EQ(v.bucket_black, 768u);
    v = view_of("rr1k4/8/8/8/8/8/8/RR1NK3");  // 23
    EXPECT_EQ(v.bucket_white + v.bucket_black, 0u);

    // versions up to 800: each king leaving its own first three ranks.
    h.version = 800;
    v = view_of("8/8/8/8/8/3k4/8/7K");  // white king h1 (7), black king d3 (rank index 2)
    EXPECT_EQ(v.bucket_white, 0u);
    EXPECT_EQ(v.bucket_black, 768u);
    v = view_of("3k4/8/8/8/K7/8/8/8");  // a4 = 24; d8 stays at home
    EXPECT_EQ(v.bucket_white, 768u);
    EXPECT_EQ(v.bucket_black, 0u);
    v = view_of("8/8/3k4/8/8/7K/8/8");  // h3 = 23; d6 is rank index 5
    EXPECT_EQ(v.bucket_white + v.bucket_black, 0u);
    h.input_buckets = 1;
    v = view_of("8/8/8/8/8/3k4/8/7K");
    EXPECT_EQ(v.bucket_white + v.bucket_black, 0u);

    // Mirroring: own king on files e-h in each view.
    EXPECT_EQ(view_of("3k4/8/8/8/8/8/8/4K3").mirror_white, 0);
    EXPECT_EQ(view_of("4k3/8/8/8/8/8/8/3K4").mirror_white, 7);
    EXPECT_EQ(view_of("3k4/8/8/8/8/8/8/4K3").flip_black, 63);
    EXPECT_EQ(view_of("4k3/8/8/8/8/8/8/3K4").flip_black, 56);

    // Output buckets.
    EXPECT_EQ(nn_output_bucket(6, 0, 0, 12), 5);
    EXPECT_EQ(nn_output_bucket(6, 32, 32, 16), 0);
    EXPECT_EQ(nn_output_bucket(6, 10, 5, 0), 3);   // 1.5 rounds up to 2
    EXPECT_EQ(nn_output_bucket(6, 10, 4, 0), 4);
    EXPECT_EQ(nn_output_bucket(8, 32, 32, 16), 7);
    EXPECT_EQ(nn_output_bucket(8, 0, 0, 6), 0);
    EXPECT_EQ(nn_output_bucket(8, 0, 0, 2), 0);    // negative clamps to 0
    EXPECT_EQ(nn_output_bucket(8, 10, 10, 11), 3);  // 2.5 rounds away from zero
    EXPECT_EQ(nn_output_bucket(8, 10, 10, 10), 2);
    EXPECT_EQ(nn_output_bucket(7, 32, 32, 16), 0);
}

// King-side mirroring makes a position and its mirror image the same features.
TEST(NnInfer, MirroredPositionsScoreTheSame) {
    install_random_network(shaped_header(64, 3, 8), 21);
    PieceShuffler shuffler(8);
    Position pos = placement_position(START, BLACK);
    State a, b;
    for (int step = 0; step < 400; step++) {
        shuffler.step(pos);
        const Position mirror = mirrored_position(pos);
        ASSERT_EQ(a.eval(pos), b.eval(mirror)) << step;
        ASSERT_EQ(a.st.raw_output, b.st.raw_output);
    }
}

TEST(NnInfer, ScoresStayWithinThreeThousand) {
    install_random_network(shaped_header(32, 0, 0), 5, 1024, 30000);
    for (int16_t* out : {network.outputs[OUT_OWN], network.outputs[OUT_OTHER]})
        for (int i = 0; i < 8 * 32; i++) out[i] = 1024;
    State s;
    const Position pos = placement_position(START, WHITE);
    const int score = s.eval(pos, 1);
    EXPECT_EQ(std::abs(score), 3000);
    EXPECT_GT(std::abs(s.st.raw_output) * 200, 3000.5f);
}

// Buffers follow the loaded network's sizes, and accumulators of an earlier
// network are never reused, even on the update path.
TEST(NnInfer, StateFollowsNewlyLoadedNetworks) {
    const Position pos = placement_position(START, WHITE);
    State s;
    install_random_network(shaped_header(32, 0, 0), 1);
    s.eval(pos);
    const void* before = s.st.memory;
    install_random_network(shaped_header(32, 0, 0), 2);  // same sizes, other weights
    EXPECT_EQ(s.eval(pos), reference_evaluate(pos));
    EXPECT_EQ(s.st.memory, before);
    install_random_network(shaped_header(512, 6, 20), 3);
    EXPECT_EQ(s.eval(pos), reference_evaluate(pos));
    EXPECT_EQ(s.st.sizes[SIZE_ACC_WHITE], 512);
    EXPECT_EQ(s.st.sizes[SIZE_HIDDEN], 20);
    install_random_network(shaped_header(16, 0, 0), 4);
    EXPECT_EQ(s.eval(pos), reference_evaluate(pos));
    EXPECT_EQ(s.st.acc_material, nullptr);
    EXPECT_EQ(s.st.hidden_values, nullptr);
}

TEST(NnInfer, PlaceholderNetworkScoresMaterial) {
    install_placeholder_network();
    State s;
    const int start = s.eval(placement_position(START, WHITE), 1);
    EXPECT_GT(start, 0);  // the move is worth a little
    EXPECT_LT(start, 30);
    const int queen_up = s.eval(placement_position("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE), 1);
    EXPECT_GT(queen_up, 850);
    EXPECT_LT(queen_up, 1100);
    EXPECT_EQ(s.eval(placement_position("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", BLACK), 1), -queen_up + 2 * start);
}

// The trained network knows that a queen is a lot, and that the start
// position is close to level; both sides see the same position alike.
TEST(NnInfer, EmbeddedNetworkScoresMaterial) {
    install_embedded_network();
    State s;
    const int start = s.eval(placement_position(START, WHITE), 1);
    EXPECT_GT(start, -50);
    EXPECT_LT(start, 80);
    const char* queen_odds = "rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
    const int queen_up = s.eval(placement_position(queen_odds, WHITE), 1);
    EXPECT_GT(queen_up, 500);
    EXPECT_LT(s.eval(placement_position(queen_odds, BLACK), 1), -500);
}

// Without weights (or buffers) there is no evaluation, and the search is told so.
TEST(NnInfer, NoNetworkMeansNoEvaluation) {
    const Position pos = placement_position(START, WHITE);
    State s;
    install_random_network(shaped_header(16, 0, 0), 1);
    s.eval(pos);
    network_free(network);
    testing::internal::CaptureStdout();
    EXPECT_EQ(s.eval(pos), -10001);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error initializing NN!\n");
    // A network of other sizes loaded afterwards gets buffers of its own sizes.
    install_random_network(shaped_header(64, 2, 4), 2);
    EXPECT_EQ(s.eval(pos), reference_evaluate(pos));
    EXPECT_EQ(s.st.sizes[SIZE_ACC_WHITE], 64);
}
