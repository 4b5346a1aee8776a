// Generator output orders, legality, move classes and exchange evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/see.h"
#include "board_test_util.h"

namespace {

int sq(const char* name) { return parse_square(name); }
Move mv(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

std::vector<Move> list_moves(const MoveEntry* begin, const MoveEntry* end) {
    std::vector<Move> moves;
    for (const MoveEntry* e = begin; e < end; e++) moves.push_back(e->move);
    EXPECT_EQ(end->move, MOVE_END);
    return moves;
}

}  // namespace

TEST(Generation, StartPositionOrder) {
    auto tb = board_from(START_FEN);
    gen_all(tb->pos);
    std::vector<Move> moves = list_moves(tb->current_ply().moves, tb->current_ply().listEnd);
    ASSERT_EQ(moves.size(), 20u);
    for (int file = 0; file < 8; file++) {
        EXPECT_EQ(moves[file], make_move_code(8 + file, 16 + file));
        EXPECT_EQ(moves[8 + file], make_move_code(8 + file, 24 + file));
    }
    EXPECT_EQ(moves[16], mv("b1", "a3"));
    EXPECT_EQ(moves[17], mv("b1", "c3"));
    EXPECT_EQ(moves[18], mv("g1", "f3"));
    EXPECT_EQ(moves[19], mv("g1", "h3"));
}

TEST(Generation, CaptureGroupsAndTargets) {
    // Both en-passant captures, each in its direction group, pieces after pawns.
    auto tb = board_from("4k3/8/8/2PpP3/8/8/8/4K2R w - d6 0 1");
    MoveEntry list[64];
    EXPECT_EQ(list_moves(list, gen_captures(tb->pos, WHITE, list, NO_SQUARE)),
              (std::vector<Move>{mv("e5", "d6"), mv("c5", "d6")}));
    EXPECT_EQ(list[0].captured, 0);
    // With a target square the king still takes whatever stands next to it.
    auto king = board_from("4k3/8/8/8/8/8/3pn3/4K1r1 w - - 0 1");
    std::vector<Move> caps = list_moves(list, gen_captures(king->pos, WHITE, list, sq("g1")));
    EXPECT_EQ(caps, (std::vector<Move>{mv("e1", "d2"), mv("e1", "e2")}));
}

TEST(Generation, PromotionEntries) {
    auto tb = board_from("r1r1k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    MoveEntry list[64];
    std::vector<Move> all = list_moves(list, gen_promotions(tb->pos, WHITE, 1, list));
    std::vector<Move> expected;
    for (const char* to : {"b8", "a8", "c8"})
        for (Move flag : {PROMO_QUEEN, PROMO_KNIGHT, PROMO_BISHOP, PROMO_ROOK}) expected.push_back(mv("b7", to, flag));
    EXPECT_EQ(all, expected);
    EXPECT_EQ(list_moves(list, gen_promotions(tb->pos, WHITE, 0, list)),
              (std::vector<Move>{mv("b7", "b8", PROMO_QUEEN), mv("b7", "a8", PROMO_QUEEN), mv("b7", "c8", PROMO_QUEEN)}));
}

TEST(Generation, QuietsInCheckOnlyBlockOrMoveTheKing) {
    auto tb = board_from("4k3/8/8/8/8/2N5/8/r3K2R w K - 0 1");
    MoveEntry list[256];
    std::vector<Move> quiets = list_moves(list, gen_quiets(tb->pos, WHITE, list, sq("a1")));
    for (Move m : quiets) {
        int piece = piece_type(tb->pos.board[move_from(m)]);
        EXPECT_TRUE(piece == KING || (Between[sq("e1")][sq("a1")] & square_bb(move_to(m)))) << m;
    }
    EXPECT_NE(std::find(quiets.begin(), quiets.end(), mv("c3", "b1")), quiets.end());
    EXPECT_NE(std::find(quiets.begin(), quiets.end(), mv("c3", "d1")), quiets.end());
    // Castling is generated in check and refused by the legality test.
    Move castle = mv("e1", "g1", CASTLE_KING_SIDE);
    ASSERT_NE(std::find(quiets.begin(), quiets.end(), castle), quiets.end());
    EXPECT_FALSE(is_legal(tb->pos, WHITE, castle));
}

TEST(Legality, CastlingThroughAttackedSquares) {
    Move king_side = mv("e1", "g1", CASTLE_KING_SIDE), queen_side = mv("e1", "c1", CASTLE_QUEEN_SIDE);
    EXPECT_TRUE(is_legal(board_from("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1")->pos, WHITE, king_side));
    EXPECT_FALSE(is_legal(board_from("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1")->pos, WHITE, king_side));   // f1 attacked
    EXPECT_FALSE(is_legal(board_from("4k3/8/8/8/8/8/6r1/R3K2R w KQ - 0 1")->pos, WHITE, king_side));   // g1 attacked
    EXPECT_TRUE(is_legal(board_from("4k3/8/8/8/8/8/1r6/R3K2R w KQ - 0 1")->pos, WHITE, queen_side));   // only b1 attacked
    EXPECT_FALSE(is_legal(board_from("4k3/8/8/8/8/8/3r4/R3K2R w KQ - 0 1")->pos, WHITE, queen_side));  // d1 attacked
    // Chess960: the castling rook itself hides the enemy rook from the king's destination.
    auto c960 = board_from("4k3/8/8/8/8/8/8/rR1K4 w B - 0 1");
    EXPECT_FALSE(is_legal(c960->pos, WHITE, mv("d1", "c1", CASTLE_QUEEN_SIDE)));
}

TEST(Legality, EnPassantAndPins) {
    // Both pawns leave the rank: the rook would see the king.
    auto rank = board_from("8/8/8/KPp4r/8/8/8/4k3 w - c6 0 1");
    EXPECT_FALSE(is_legal(rank->pos, WHITE, mv("b5", "c6")));
    // Taking the checking pawn en passant answers the check.
    auto check = board_from("8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1");
    EXPECT_TRUE(is_legal(check->pos, BLACK, mv("e4", "d3")));
    EXPECT_FALSE(is_legal(check->pos, BLACK, mv("e4", "e3")));  // ignoring the check
    // A pinned knight cannot move; the king cannot step along the checking line.
    auto pin = board_from("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
    EXPECT_FALSE(is_legal(pin->pos, WHITE, mv("e2", "c3")));
    EXPECT_FALSE(is_legal(pin->pos, WHITE, MOVE_NONE));
}

TEST(Legality, LeastAttackerOrderAndXRays) {
    auto tb = board_from("4k3/8/8/8/8/3R4/8/3QK3 w - - 0 1");
    Bitboard occ = tb->pos.occupied();
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ), sq("d3"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), WHITE, occ & ~square_bb(sq("d3"))), sq("d1"));
    EXPECT_EQ(least_attacker(tb->pos, sq("d6"), BLACK, occ), NO_SQUARE);
}

TEST(MoveProps, ClassesOfCapturesChecksAndPawnRanks) {
    auto tb = board_from("4k3/1P6/8/3p4/4P3/8/8/B3K2R w K - 0 1");
    auto props = [&](Move m) {
        MoveEntry e{m, 0, tb->pos.board[move_from(m)], tb->pos.board[move_to(m)]};
        return move_props(tb->pos, WHITE, e);
    };
    EXPECT_EQ(props(mv("e4", "d5")), PROP_CAPTURE);
    EXPECT_EQ(props(mv("b7", "b8", PROMO_QUEEN)), PROP_PROMOTE | PROP_CHECK);
    EXPECT_EQ(props(mv("b7", "b8", PROMO_KNIGHT)), PROP_PROMOTE);
    EXPECT_EQ(props(mv("h1", "h8")), PROP_CHECK);
    EXPECT_EQ(props(mv("e4", "e5")), 0);
    auto sixth = board_from("4k3/8/8/4P3/8/8/8/4K3 w - - 0 1");
    MoveEntry push{mv("e5", "e6"), 0, make_piece(WHITE, PAWN), 0};
    EXPECT_EQ(move_props(sixth->pos, WHITE, push), PROP_SIXTH);
    // A discovered check by the bishop behind the moving pawn.
    auto discover = board_from("7k/8/8/8/8/2P5/8/B3K3 w - - 0 1");
    MoveEntry step{mv("c3", "c4"), 0, make_piece(WHITE, PAWN), 0};
    EXPECT_EQ(move_props(discover->pos, WHITE, step), PROP_CHECK);
}

TEST(Exchange, CasesFromTheRules) {
    auto queen = board_from("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(see_move(queen->pos, WHITE, sq("d1"), sq("d5")), -960);
    EXPECT_FALSE(see_ok(queen->pos, mv("d1", "d5")));

    auto pawn = board_from("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_TRUE(see_ok(pawn->pos, mv("e4", "d5")));
    EXPECT_EQ(see_move(pawn->pos, WHITE, sq("e4"), sq("d5")), 350);

    // The second rook joins once the first has left.
    auto rooks = board_from("k7/8/2b5/8/4p3/8/4R3/4R1K1 w - - 0 1");
    EXPECT_EQ(see_move(rooks->pos, WHITE, sq("e2"), sq("e4")), -100);
    EXPECT_FALSE(see_ok(rooks->pos, mv("e2", "e4")));

    auto king = board_from("8/8/8/8/8/3p4/2p5/3K3k w - - 0 1");
    EXPECT_EQ(see_move(king->pos, WHITE, sq("d1"), sq("c2")), 100 - 9999);
    auto free = board_from("8/8/8/8/8/8/2p5/3K3k w - - 0 1");
    EXPECT_EQ(see_move(free->pos, WHITE, sq("d1"), sq("c2")), 100);

    auto empty = board_from("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
    EXPECT_EQ(see_move(empty->pos, WHITE, sq("b1"), sq("a3")), 0);
    EXPECT_EQ(see_move(empty->pos, WHITE, sq("b1"), sq("c3")), -350);
    // Square view: a white knight on c3 is worth 350 to black, less the pawn
    // the knight on b1 takes back; an empty square is worth nothing.
    EXPECT_EQ(see_gain(empty->pos, BLACK, sq("c3"), KNIGHT, empty->pos.occupied()), 250);
    EXPECT_EQ(see_move(empty->pos, BLACK, NO_SQUARE, sq("c3")), 0);
}
