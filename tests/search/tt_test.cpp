// The transposition table: layout, replacement, ageing, mate scores and hash-move validation.
#include <gtest/gtest.h>

#include "board/move.h"
#include "search/state.h"
#include "search/tt.h"
#include "search_env.h"

namespace {

struct TableFixture : ::testing::Test {
    ThreadBoard tb;
    void SetUp() override {
        search_test_setup(1);
        search_state.age = 0;
        init_thread_board(tb);
        ASSERT_EQ(set_fen(tb.pos, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"), 0);
    }
    TTData probe(int expect_hit = 1) {
        TTData d{};
        EXPECT_EQ(tt_probe(tb.pos, d), expect_hit);
        return d;
    }
};

const Move E2A6 = make_move_code(12, 40);  // Be2xa6, legal here
const Move D5E6 = make_move_code(35, 44);  // d5xe6, legal here

}  // namespace

TEST_F(TableFixture, SizesFollowTheHashOption) {
    options.hash_mb = 3;
    ASSERT_TRUE(tt_allocate());
    EXPECT_EQ(tt.mask, 0xFFFFu);  // 3 MB / 32 = 98304, so 65536 entries per half
    EXPECT_EQ(tt.entries, 3u * 1024 * 1024 / 16);
    options.hash_mb = 0;
    ASSERT_TRUE(tt_allocate());
    EXPECT_FALSE(tt_present());
    tt_store(tb.pos, 1, 5, E2A6, 10, 20, BOUND_EXACT);
    probe(0);
    options.hash_mb = 1;
    ASSERT_TRUE(tt_allocate());
    EXPECT_EQ(search_state.table_enabled, 1);  // a table with memory is usable again
}

TEST_F(TableFixture, StoreProbeRoundTripAndCheckWord) {
    tt_store(tb.pos, 3, 6, E2A6, -35, 120, BOUND_LOWER);
    TTData d = probe();
    EXPECT_EQ(d.move, E2A6);
    EXPECT_EQ(d.eval, -35);
    EXPECT_EQ(d.score, 120);
    EXPECT_EQ(d.depth, 6);
    EXPECT_EQ(d.bound, BOUND_LOWER);
    // The other side to move lives in the other half.
    tb.pos.side ^= 1;
    probe(0);
    tb.pos.side ^= 1;
    // A move that is never stored, and negative depths are kept at -1.
    tt_store(tb.pos, 3, 6, MOVE_NONE, 0, 0, BOUND_EXACT);
    EXPECT_EQ(probe().move, E2A6);
    tt_store(tb.pos, 3, -7, D5E6, 1, 2, BOUND_UPPER);
    EXPECT_EQ(probe().move, E2A6);  // depth 6 - 2 > -1: the deeper entry stays
}

TEST_F(TableFixture, ReplacementKeepsClearlyDeeperResults) {
    tt_store(tb.pos, 1, 10, E2A6, 0, 50, BOUND_EXACT);
    tt_store(tb.pos, 1, 7, D5E6, 0, 60, BOUND_EXACT);
    EXPECT_EQ(probe().move, E2A6);
    tt_store(tb.pos, 1, 8, D5E6, 0, 60, BOUND_EXACT);
    EXPECT_EQ(probe().move, D5E6);
}

TEST_F(TableFixture, MateScoresAreStoredRelativeToTheNode) {
    tt_store(tb.pos, 5, 4, E2A6, 0, 9990, BOUND_EXACT);
    EXPECT_EQ(probe().score, 9995);  // read back at ply 3 the search makes it 9992
    tt_store(tb.pos, 5, 4, E2A6, 0, -9990, BOUND_EXACT);
    EXPECT_EQ(probe().score, -9995);
}

TEST_F(TableFixture, OlderEntriesLoseDepthOnceRead) {
    tt_store(tb.pos, 1, 12, E2A6, 0, 5, BOUND_EXACT);
    tt_new_search();
    tt_new_search();
    EXPECT_EQ(probe().depth, 8);  // two searches old: 2 x 2 plies less
    EXPECT_EQ(probe().depth, 8);  // and written back with the current age
    for (int i = 0; i < 40; i++) tt_new_search();
    EXPECT_LE(search_state.age, 31);
}

TEST_F(TableFixture, CollidingEntryIsReportedOnceThenMisses) {
    Move illegal = make_move_code(0, 56);  // Ra1-a8 through its own pawn
    tt_store(tb.pos, 1, 5, illegal, 0, 0, BOUND_EXACT);
    testing::internal::CaptureStdout();
    TTData d{};
    EXPECT_EQ(tt_probe(tb.pos, d), 0);
    EXPECT_EQ(tt_probe(tb.pos, d), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("info fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"), std::string::npos);
    EXPECT_NE(out.find("illegal hash move: a1a8, flags= 0, code= 10"), std::string::npos) << out;
    EXPECT_EQ(out.find("illegal hash move", out.find("illegal hash move") + 1), std::string::npos);
}

TEST_F(TableFixture, HashMovesAreValidatedAgainstThePosition) {
    const Position& p = tb.pos;
    auto code = [&](int from, int to, Move flags = 0) { return tt_move_rejection(p, make_move_code(from, to, flags)); };
    EXPECT_EQ(code(20, 28), 2);    // nothing on e3
    EXPECT_EQ(code(4, 6, CASTLE_KING_SIDE), 0);
    EXPECT_EQ(code(4, 2, CASTLE_QUEEN_SIDE), 0);
    EXPECT_EQ(code(4, 14, CASTLE_KING_SIDE), 12);  // a castling king leaving its rank
    EXPECT_EQ(code(28, 28), 1);
    EXPECT_EQ(code(56, 60), 2);    // onto a king
    EXPECT_EQ(code(48, 40), 3);    // a black pawn with white to move
    EXPECT_EQ(code(21, 13), 4);    // Qf3 onto its own pawn
    EXPECT_EQ(code(21, 22, PROMO_QUEEN), 6);
    EXPECT_EQ(code(8, 32), 7);     // a2-a5
    EXPECT_EQ(code(15, 23), 7);    // h2-h3 pushes into a pawn
    EXPECT_EQ(code(8, 24), 0);     // a2-a4
    EXPECT_EQ(code(14, 23), 0);    // g2xh3
    EXPECT_EQ(code(18, 20), 8);    // Nc3-e3
    EXPECT_EQ(code(12, 20), 9);    // Be2-e3
    EXPECT_EQ(code(0, 24), 10);    // Ra1-a4 through the a2 pawn
    EXPECT_EQ(code(21, 53), 11);   // Qf3-f7 through the f6 knight
    EXPECT_EQ(code(21, 45), 0);    // Qf3xf6
    EXPECT_EQ(code(4, 20), 13);    // Ke1-e3
    EXPECT_EQ(code(4, 5), 0);      // Ke1-f1
    EXPECT_EQ(code(36, 53), 0);    // Ne5xf7
    ASSERT_EQ(set_fen(tb.pos, "4k3/4r3/8/8/8/8/4N3/4K3 w - -"), 0);
    EXPECT_EQ(code(12, 18), 14);   // the pinned Ne2
    EXPECT_EQ(code(4, 5), 0);
}
