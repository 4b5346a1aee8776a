// What perft cannot see: legality edge cases one by one, promotions and
// quiet moves in check, least attackers, move classes and exchange evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board/see.h"
#include "board_test_util.h"

namespace {

std::vector<Move> list_moves(const MoveEntry* begin, const MoveEntry* end) {
    std::vector<Move> moves;
    for (const MoveEntry* e = begin; e < end; e++) moves.push_back(e->move);
    EXPECT_EQ(end->move, MOVE_END);
    return moves;
}

bool legal(const char* fen, Move m) {
    auto tb = board_from(fen);
    return is_legal(tb->pos, tb->pos.side, m);
}

}  // namespace

TEST(Generation, PromotionsAndQuietsInCheck) {
    MoveEntry list[256];
    // Every promotion piece at full width, queens only in the quiescence search.
    auto promo = board_from("r1r1k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(list_moves(list, gen_promotions(promo->pos, WHITE, 1, list)).size(), 12u);
    EXPECT_EQ(list_moves(list, gen_promotions(promo->pos, WHITE, 0, list)).size(), 3u);
    // Quiet moves in check only block or move the king; castling is generated and refused by the legality test.
    auto check = board_from("4k3/8/8/8/8/2N5/8/r3K2R w K - 0 1");
    const std::vector<Move> quiets = list_moves(list, gen_quiets(check->pos, WHITE, list, sq("a1")));
    for (Move m : quiets)
        EXPECT_TRUE(move_from(m) == sq("e1") || (Between[sq("e1")][sq("a1")] & square_bb(move_to(m)))) << m;
    EXPECT_EQ(std::count(quiets.begin(), quiets.end(), mv("c3", "d1")), 1);
    ASSERT_EQ(std::count(quiets.begin(), quiets.end(), mv("e1", "g1", CASTLE_KING_SIDE)), 1);
    EXPECT_FALSE(is_legal(check->pos, WHITE, mv("e1", "g1", CASTLE_KING_SIDE)));
}

TEST(Legality, CastlingEnPassantAndPins) {
    const Move oo = mv("e1", "g1", CASTLE_KING_SIDE), ooo = mv("e1", "c1", CASTLE_QUEEN_SIDE);
    EXPECT_TRUE(legal("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", oo));
    EXPECT_FALSE(legal("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1", oo));   // f1 attacked
    EXPECT_FALSE(legal("4k3/8/8/8/8/8/6r1/R3K2R w KQ - 0 1", oo));   // g1 attacked
    EXPECT_TRUE(legal("4k3/8/8/8/8/8/1r6/R3K2R w KQ - 0 1", ooo));   // only b1 attacked
    EXPECT_FALSE(legal("4k3/8/8/8/8/8/3r4/R3K2R w KQ - 0 1", ooo));  // d1 attacked
    // Chess960: the castling rook itself hides the enemy rook from the king's destination.
    EXPECT_FALSE(legal("4k3/8/8/8/8/8/8/rR1K4 w B - 0 1", mv("d1", "c1", CASTLE_QUEEN_SIDE)));
    EXPECT_FALSE(legal("8/8/8/KPp4r/8/8/8/4k3 w - c6 0 1", mv("b5", "c6")));  // both pawns leave the rank
    EXPECT_TRUE(legal("8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", mv("e4", "d3")));  // taking the checking pawn
    EXPECT_FALSE(legal("8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", mv("e4", "e3")));
    EXPECT_FALSE(legal("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", mv("e2", "c3")));  // pinned
    EXPECT_FALSE(legal("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", MOVE_NONE));
    // Least attackers, the x-ray behind a removed piece included.
    auto tb = board_from("4k3/8/8/8/8/3R4/8/3QK3 w - - 0 1");
    const Bitboard occ = tb->pos.occupied();
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ), sq("d3"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ & ~bb("d3")), sq("d1"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), BLACK, occ), NO_SQUARE);
}

TEST(MoveProps, ClassesOfCapturesChecksAndPawnRanks) {
    auto props = [](const char* fen, Move m) {
        auto tb = board_from(fen);
        MoveEntry e{m, 0, tb->pos.board[move_from(m)], tb->pos.board[move_to(m)]};
        return move_props(tb->pos, tb->pos.side, e);
    };
    const char* fen = "4k3/1P6/8/3p4/4P3/8/8/B3K2R w K - 0 1";
    EXPECT_EQ(props(fen, mv("e4", "d5")), PROP_CAPTURE);
    EXPECT_EQ(props(fen, mv("b7", "b8", PROMO_QUEEN)), PROP_PROMOTE | PROP_CHECK);
    EXPECT_EQ(props(fen, mv("b7", "b8", PROMO_KNIGHT)), PROP_PROMOTE);
    EXPECT_EQ(props(fen, mv("h1", "h8")), PROP_CHECK);
    EXPECT_EQ(props(fen, mv("e4", "e5")), 0);
    EXPECT_EQ(props("4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", mv("e5", "e6")), PROP_SIXTH);
    EXPECT_EQ(props("7k/8/8/8/8/2P5/8/B3K3 w - - 0 1", mv("c3", "c4")), PROP_CHECK);  // discovered by the bishop
}

TEST(Exchange, CasesFromTheRules) {
    auto see = [](const char* fen, const char* from, const char* to) {
        auto tb = board_from(fen);
        return see_move(tb->pos, tb->pos.side, from ? sq(from) : NO_SQUARE, sq(to));
    };
    EXPECT_EQ(see("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1", "d5"), -960);
    EXPECT_EQ(see("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4", "d5"), 350);
    EXPECT_EQ(see("k7/8/2b5/8/4p3/8/4R3/4R1K1 w - - 0 1", "e2", "e4"), -100);  // the second rook joins too late
    EXPECT_EQ(see("8/8/8/8/8/3p4/2p5/3K3k w - - 0 1", "d1", "c2"), 100 - 9999);
    EXPECT_EQ(see("8/8/8/8/8/8/2p5/3K3k w - - 0 1", "d1", "c2"), 100);
    EXPECT_EQ(see("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1", "b1", "a3"), 0);
    EXPECT_EQ(see("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1", "b1", "c3"), -350);
    EXPECT_EQ(see("4k3/8/8/8/3p4/8/8/1N2K3 b - - 0 1", nullptr, "c3"), 0);
    auto tb = board_from("4k3/8/2p5/3p4/4n3/8/8/1N1QK3 w - - 0 1");
    EXPECT_FALSE(see_ok(tb->pos, mv("d1", "d5")));
    EXPECT_TRUE(see_ok(tb->pos, mv("d1", "e2")));
    // Square view: a white knight on c3 is worth 350 to black, less the pawn the b1 knight takes back.
    auto empty = board_from("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
    EXPECT_EQ(see_gain(empty->pos, BLACK, sq("c3"), KNIGHT, empty->pos.occupied()), 250);
}
