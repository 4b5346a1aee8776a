// The staged picker: which moves come out, in which order, at full-width and
// quiescence nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "board/movepick.h"
#include "board_test_util.h"

namespace {

int sq(const char* name) { return parse_square(name); }
Move mv(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

struct Picked {
    Move move;
    int score;
};

// Runs the picker at ply 1 to the end.
std::vector<Picked> pick_all(ThreadBoard& tb, uint8_t gen_mode, Move hash = MOVE_NONE) {
    tb.plyIndex = 1;
    PlyRecord& pr = tb.current_ply();
    int c = tb.pos.side;
    int checker = least_attacker(tb.pos, tb.pos.kingSq[c], c ^ 1, tb.pos.occupied());
    pr.captureTarget = uint8_t(checker);
    pr.inCheck = checker != NO_SQUARE;
    pr.hashMove = hash;
    pr.genMode = gen_mode;
    pr.stage = STAGE_START;
    pr.cursor = pr.moves;
    std::vector<Picked> out;
    while (MoveEntry* e = next_move(tb.pos)) {
        pr.cursor = e;
        out.push_back({e->move, e->score});
    }
    return out;
}

std::vector<Move> moves_of(const std::vector<Picked>& picked) {
    std::vector<Move> moves;
    for (const Picked& p : picked) moves.push_back(p.move);
    return moves;
}

}  // namespace

TEST(Picker, QuietsComeAtOnceWhenThereIsNothingTactical) {
    auto tb = board_from(START_FEN);
    tb->ply[1].killer1 = mv("g1", "f3");
    tb->ply[1].killer2 = mv("b1", "c3");
    std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH);
    ASSERT_EQ(picked.size(), 20u);
    EXPECT_EQ(picked[0].move, mv("g1", "f3"));
    EXPECT_EQ(picked[0].score, 4 + 70);
    EXPECT_EQ(picked[1].move, mv("b1", "c3"));
    EXPECT_EQ(picked[1].score, 4 + 60);
    // The rest tie at 4 and keep the order the swaps leave them in.
    for (size_t i = 2; i < picked.size(); i++) EXPECT_EQ(picked[i].score, 4);
}

TEST(Picker, EqualScoresGoOutInListOrder) {
    auto tb = board_from(START_FEN);
    std::vector<Move> generated = legal_moves(*tb);
    EXPECT_EQ(moves_of(pick_all(*tb, GEN_FULL_WIDTH)), generated);
}

TEST(Picker, LosingCaptureWaitsBehindBetterQuiets) {
    // Qxd5 loses the queen for a pawn: losing-capture score 4.
    auto tb = board_from("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
    for (uint16_t& h : tb->order.history) h = 0;
    int queen = make_piece(WHITE, QUEEN), king = make_piece(WHITE, KING);
    tb->order.history[queen * 64 + sq("d2")] = 65535;  // 69
    tb->order.history[queen * 64 + sq("d3")] = 65535;
    tb->order.history[king * 64 + sq("f1")] = 4096;    // 4
    tb->order.history[king * 64 + sq("f2")] = 4096;
    std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH);
    ASSERT_GE(picked.size(), 6u);
    EXPECT_EQ(std::set<Move>({picked[0].move, picked[1].move}), std::set<Move>({mv("d1", "d2"), mv("d1", "d3")}));
    EXPECT_EQ(picked[2].move, mv("d1", "d5"));
    EXPECT_EQ(picked[2].score, 4);
    EXPECT_EQ(std::set<Move>({picked[3].move, picked[4].move}), std::set<Move>({mv("e1", "f1"), mv("e1", "f2")}));
    for (size_t i = 5; i < picked.size(); i++) EXPECT_EQ(picked[i].score, 0);
    EXPECT_EQ(picked.size(), legal_moves(*tb).size());
}

TEST(Picker, QuiescenceGetsTacticalMovesByVictimAndAttacker) {
    auto tb = board_from("4k3/1P6/5P1p/3q4/4P3/8/3Q4/4K3 w - - 0 1");
    std::vector<Picked> picked = pick_all(*tb, 0);
    std::vector<Move> expected = {mv("e4", "d5"), mv("d2", "d5"), mv("d2", "h6"), mv("b7", "b8", PROMO_QUEEN),
                                  mv("f6", "f7")};
    EXPECT_EQ(moves_of(picked), expected);
    std::vector<int> scores;
    for (const Picked& p : picked) scores.push_back(p.score);
    EXPECT_EQ(scores, (std::vector<int>{249, 245, 215, 209, 209}));
}

TEST(Picker, HashMoveFirstAndAgainInItsGroup) {
    auto tb = board_from("4k3/1P6/5P1p/3q4/4P3/8/3Q4/4K3 w - - 0 1");
    Move hash = mv("d2", "h6");
    std::vector<Picked> picked = pick_all(*tb, GEN_FULL_WIDTH, hash);
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(picked[0].move, hash);
    EXPECT_EQ(picked[0].score, 255);
    std::vector<Move> moves = moves_of(picked);
    EXPECT_EQ(std::count(moves.begin() + 1, moves.end(), hash), 1);
    // Full width: every promotion kind is there.
    EXPECT_NE(std::find(moves.begin(), moves.end(), mv("b7", "b8", PROMO_KNIGHT)), moves.end());
    // At a quiescence node the hash move is not handed out on its own.
    EXPECT_EQ(pick_all(*tb, 0, hash).size(), 5u);
}

TEST(Picker, QuietChecksAreTheDirectChecks) {
    auto tb = board_from("3k4/8/8/8/3N4/7Q/1P2P3/R1B1K1NR w - - 0 1");
    std::vector<Picked> picked = pick_all(*tb, GEN_QUIET_CHECKS);
    std::set<Move> checks;
    for (const Picked& p : picked) {
        EXPECT_EQ(p.score, 100);
        EXPECT_TRUE(gives_check(tb->pos, WHITE, p.move)) << p.move;
        checks.insert(p.move);
    }
    // Every quiet non-king move that attacks the king from its new square.
    MoveEntry list[256];
    MoveEntry* end = gen_quiets(tb->pos, WHITE, list, NO_SQUARE);
    int direct = 0;
    for (MoveEntry* e = list; e < end; e++) {
        int type = piece_type(e->piece);
        if (type == KING) continue;
        Bitboard occ = (tb->pos.occupied() ^ square_bb(move_from(e->move))) | square_bb(move_to(e->move));
        int to = move_to(e->move), k = sq("d8");
        Bitboard reach = type == PAWN     ? PawnAttacks[WHITE][to]
                         : type == KNIGHT ? KnightAttacks[to]
                         : type == BISHOP ? bishop_attacks(to, occ)
                         : type == ROOK   ? rook_attacks(to, occ)
                                          : bishop_attacks(to, occ) | rook_attacks(to, occ);
        if (reach & square_bb(k)) {
            direct++;
            EXPECT_TRUE(checks.count(e->move)) << e->move;
        }
    }
    EXPECT_EQ(direct, int(checks.size()));
    EXPECT_GT(direct, 3);
}

TEST(Picker, CounterMoveBonusFollowsTheMoveOnePlyUp) {
    auto tb = board_from(START_FEN);
    MoveEntry& played = tb->lists[1][0];
    played = {mv("e2", "e4"), 0, uint8_t(make_piece(WHITE, PAWN)), 0};
    tb->ply[1].cursor = &played;
    tb->order.counter1[make_piece(WHITE, PAWN) * 64 + sq("e4")] = mv("g8", "f6");
    tb->order.counter2[make_piece(WHITE, PAWN) * 64 + sq("e4")] = mv("b8", "c6");
    make_move(tb->pos, played.move);
    PlyRecord& pr = tb->ply[2];
    pr.captureTarget = NO_SQUARE;
    pr.inCheck = 0;
    pr.hashMove = MOVE_NONE;
    pr.genMode = GEN_FULL_WIDTH;
    pr.stage = STAGE_START;
    pr.cursor = pr.moves;
    MoveEntry* first = next_move(tb->pos);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->move, mv("g8", "f6"));
    EXPECT_EQ(first->score, 4 + 50);
    pr.cursor = first;
    MoveEntry* second = next_move(tb->pos);
    EXPECT_EQ(second->move, mv("b8", "c6"));
    EXPECT_EQ(second->score, 4 + 40);
    unmake_move(tb->pos);

    // After a null move nothing refutes anything.
    make_null_move(tb->pos);
    pr.stage = STAGE_START;
    pr.cursor = pr.moves;
    EXPECT_EQ(next_move(tb->pos)->score, 4);
}
