// The staged picker's order and scores (that every generated move comes out
// exactly once is checked along the random games).

#include <set>

#include "board/movepick.h"
#include "test_support.h"

namespace {

using Picked = std::pair<Move, int>;  // move, score

std::vector<Picked> first(const std::vector<Picked>& picked, size_t n) { return {picked.begin(), picked.begin() + n}; }

}  // namespace

TEST(Picker, KillersCounterMovesAndQuietsInListOrder) {
    auto tb = board_from(START_FEN);
    std::vector<Move> order;
    for (const Picked& p : pick_all(*tb, GEN_FULL_WIDTH)) order.push_back(p.first);
    EXPECT_EQ(order, legal_moves(*tb));
    tb->ply[1].killer1 = mv("g1", "f3");
    tb->ply[1].killer2 = mv("b1", "c3");
    const std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH);
    ASSERT_EQ(picked.size(), 20u);
    EXPECT_EQ(first(picked, 2), (std::vector<Picked>{{mv("g1", "f3"), 4 + 70}, {mv("b1", "c3"), 4 + 60}}));
    for (size_t i = 2; i < picked.size(); i++) EXPECT_EQ(picked[i].second, 4);
    // Counter moves follow the move one ply up; after a null move nothing refutes anything.
    MoveEntry& played = tb->lists[1][0];
    played = {mv("e2", "e4"), 0, uint8_t(make_piece(WHITE, PAWN)), 0};
    tb->ply[1].cursor = &played;
    tb->order.counter1[make_piece(WHITE, PAWN) * 64 + sq("e4")] = mv("g8", "f6");
    tb->order.counter2[make_piece(WHITE, PAWN) * 64 + sq("e4")] = mv("b8", "c6");
    make_move(tb->pos, played.move);
    EXPECT_EQ(first(pick_all(*tb, GEN_FULL_WIDTH, MOVE_NONE, 2), 2),
              (std::vector<Picked>{{mv("g8", "f6"), 4 + 50}, {mv("b8", "c6"), 4 + 40}}));
    unmake_move(tb->pos);
    make_null_move(tb->pos);
    EXPECT_EQ(pick_all(*tb, GEN_FULL_WIDTH, MOVE_NONE, 2)[0].second, 4);
}

TEST(Picker, LosingCaptureWaitsBehindBetterQuiets) {
    // Qxd5 loses the queen for a pawn: losing-capture score 4.
    auto tb = board_from("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
    for (uint16_t& h : tb->order.history) h = 0;
    const int queen = make_piece(WHITE, QUEEN), king = make_piece(WHITE, KING);
    tb->order.history[queen * 64 + sq("d2")] = tb->order.history[queen * 64 + sq("d3")] = 65535;  // 69
    tb->order.history[king * 64 + sq("f1")] = tb->order.history[king * 64 + sq("f2")] = 4096;     // 4
    const std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH);
    ASSERT_GE(picked.size(), 6u);
    EXPECT_EQ(std::set<Picked>(picked.begin(), picked.begin() + 2),
              (std::set<Picked>{{mv("d1", "d2"), 69}, {mv("d1", "d3"), 69}}));
    EXPECT_EQ(picked[2], Picked(mv("d1", "d5"), 4));
    EXPECT_EQ(std::set<Picked>(picked.begin() + 3, picked.begin() + 5),
              (std::set<Picked>{{mv("e1", "f1"), 4}, {mv("e1", "f2"), 4}}));
    for (size_t i = 5; i < picked.size(); i++) EXPECT_EQ(picked[i].second, 0);
}

TEST(Picker, TacticalMovesByVictimAndAttackerAndTheHashMove) {
    auto tb = board_from("4k3/1P6/5P1p/3q4/4P3/8/3Q4/4K3 w - - 0 1");
    EXPECT_EQ(pick_all(*tb, 0), (std::vector<Picked>{{mv("e4", "d5"), 249}, {mv("d2", "d5"), 245}, {mv("d2", "h6"), 215},
                                                    {mv("b7", "b8", PROMO_QUEEN), 209}, {mv("f6", "f7"), 209}}));
    // The hash move comes first and again in its group; not on its own at a quiescence node.
    const Move hash = mv("d2", "h6");
    const std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH, hash);
    EXPECT_EQ(picked[0], Picked(hash, 255));
    EXPECT_EQ(std::count(picked.begin() + 1, picked.end(), Picked(hash, 215)), 1);
    EXPECT_EQ(std::count_if(picked.begin(), picked.end(), [](auto& p) { return p.first == mv("b7", "b8", PROMO_KNIGHT); }), 1);
    EXPECT_EQ(pick_all(*tb, 0, hash).size(), 5u);
}
