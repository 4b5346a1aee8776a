// What perft cannot see: promotions at quiescence nodes, legality edge cases,
// least attackers, move classes and exchange evaluation.

#include "board/see.h"
#include "test_support.h"

TEST(Generation, PromotionsLegalityAndLeastAttackers) {
    MoveEntry list[256];
    // Every promotion piece at full width, queens only in the quiescence search.
    auto promo = board_from("r1r1k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(gen_promotions(promo->pos, WHITE, 1, list) - list, 12);
    EXPECT_EQ(gen_promotions(promo->pos, WHITE, 0, list) - list, 3);
    // Legality beyond the perft trees (which check every generated move): a
    // Chess960 castling whose own rook hid an enemy rook, and no move at all.
    const struct { const char* fen; Move move; } illegal[] = {
        {"4k3/8/8/8/8/8/8/rR1K4 w B - 0 1", mv("d1", "c1", CASTLE_QUEEN_SIDE)},
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", MOVE_NONE},
    };
    for (const auto& c : illegal) {
        auto tb = board_from(c.fen);
        EXPECT_FALSE(is_legal(tb->pos, tb->pos.side, c.move)) << c.fen;
    }
    // Least attackers, the x-ray behind a removed piece included.
    auto tb = board_from("4k3/8/8/8/8/3R4/8/3QK3 w - - 0 1");
    const Bitboard occ = tb->pos.occupied();
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ), sq("d3"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ & ~bb("d3")), sq("d1"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), BLACK, occ), NO_SQUARE);
}

TEST(MoveProps, ClassesOfCapturesChecksAndPawnRanks) {
    const char* fen = "4k3/1P6/8/3p4/4P3/8/8/B3K2R w K - 0 1";
    const struct { const char* fen; Move move; int props; } cases[] = {
        {fen, mv("e4", "d5"), PROP_CAPTURE}, {fen, mv("b7", "b8", PROMO_QUEEN), PROP_PROMOTE | PROP_CHECK},
        {fen, mv("b7", "b8", PROMO_KNIGHT), PROP_PROMOTE}, {fen, mv("h1", "h8"), PROP_CHECK}, {fen, mv("e4", "e5"), 0},
        {"4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", mv("e5", "e6"), PROP_SIXTH},
        {"7k/8/8/8/8/2P5/8/B3K3 w - - 0 1", mv("c3", "c4"), PROP_CHECK},  // discovered by the bishop
    };
    for (const auto& c : cases) {
        auto tb = board_from(c.fen);
        const MoveEntry e{c.move, 0, tb->pos.board[move_from(c.move)], tb->pos.board[move_to(c.move)]};
        EXPECT_EQ(move_props(tb->pos, WHITE, e), c.props) << c.fen << " " << c.move;
    }
}

TEST(Exchange, CasesFromTheRules) {
    const struct { const char* fen; const char *from, *to; int value; } cases[] = {
        {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1", "d5", -960},
        {"4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4", "d5", 350},
        {"k7/8/2b5/8/4p3/8/4R3/4R1K1 w - - 0 1", "e2", "e4", -100},  // the second rook joins too late
        {"8/8/8/8/8/3p4/2p5/3K3k w - - 0 1", "d1", "c2", 100 - 9999},
        {"8/8/8/8/8/8/2p5/3K3k w - - 0 1", "d1", "c2", 100},
        {"4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1", "b1", "a3", 0},
        {"4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1", "b1", "c3", -350},
        {"4k3/8/8/8/3p4/8/8/1N2K3 b - - 0 1", nullptr, "c3", 0},
    };
    for (const auto& c : cases) {
        auto tb = board_from(c.fen);
        EXPECT_EQ(see_move(tb->pos, tb->pos.side, c.from ? sq(c.from) : NO_SQUARE, sq(c.to)), c.value) << c.fen;
    }
    auto tb = board_from("4k3/8/2p5/3p4/4n3/8/8/1N1QK3 w - - 0 1");
    EXPECT_FALSE(see_ok(tb->pos, mv("d1", "d5")));
    EXPECT_TRUE(see_ok(tb->pos, mv("d1", "e2")));
    // Square view: a white knight on c3 is worth 350 to black, less the pawn the b1 knight takes back.
    auto empty = board_from("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
    EXPECT_EQ(see_gain(empty->pos, BLACK, sq("c3"), KNIGHT, empty->pos.occupied()), 250);
}
