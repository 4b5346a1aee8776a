// Behaviour of the hand-crafted evaluation: phase, pawn cache, endgame
// scaling, pins, hung pieces and free pawns, the display totals, and the
// trace the tuner fits against the real evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "board/types.h"
#include "eval/params.h"
#include "eval/scale.h"
#include "evaluate_support.h"

namespace {

struct HceCase {
    std::unique_ptr<ThreadBoard> tb;
    std::unique_ptr<EvalState> es;
    explicit HceCase(const std::string& fen) : tb(board_at(fen)), es(fresh_eval_state()) {}
    int eval(int ply = 0) {
        es->eval_ply = int16_t(ply);
        return hce_evaluate(*es, tb->pos);
    }
    const HceState& state() const { return es->hce; }
};

int square(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
Bitboard bb(const char* name) { return square_bb(square(name)); }

}  // namespace

TEST(HcePhase, OpeningAndBareKings) {
    init_eval_tests();
    HceCase start(START_FEN);
    start.eval();
    EXPECT_EQ(start.state().phase, 1.0f);
    HceCase pawn("4k3/8/8/8/8/8/4P3/4K3 w - -");
    pawn.eval();
    EXPECT_FLOAT_EQ(pawn.state().phase, 0.014f);
    // Start position: everything cancels but the side-to-move bonus (mg 36 at phase 1).
    EXPECT_EQ(start.eval(), 36);
}

TEST(HcePawnCache, KeyWingsAndHitCounting) {
    init_eval_tests();
    HceCase a("4k3/pp6/8/8/8/8/PP6/4K3 w - -");
    HceCase b("3k4/pp6/8/8/8/8/PP6/4K3 w - -");  // black king on the other wing
    HceCase c("3k4/pp6/8/8/8/8/PP6/3K4 w - -");  // both kings moved
    EXPECT_EQ(a.tb->pos.pawnKey, b.tb->pos.pawnKey);
    EXPECT_NE(pawn_cache_key(a.tb->pos), pawn_cache_key(b.tb->pos));
    EXPECT_NE(pawn_cache_key(b.tb->pos), pawn_cache_key(c.tb->pos));
    EXPECT_NE(pawn_cache_key(a.tb->pos), pawn_cache_key(c.tb->pos));

    int first = a.eval(2);
    EXPECT_EQ(a.state().pawn_probes, 1u);
    EXPECT_EQ(a.state().pawn_hits, 0u);
    EXPECT_EQ(a.eval(2), first);
    EXPECT_EQ(a.state().pawn_hits, 1u);
    EXPECT_EQ(a.eval(1), first);  // below ply 2 the entry is not trusted
    EXPECT_EQ(a.state().pawn_hits, 1u);
    EXPECT_EQ(a.state().pawn_probes, 3u);
}

TEST(HceScaling, RookPawnOppositeBishopsAndLargeMaterial) {
    init_eval_tests();
    // King, a-pawn and dark-squared bishop against the king on b8: the corner a8 is light.
    HceCase fortress("1k6/8/8/8/8/8/P7/K1B5 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(fortress.tb->pos, 100), 0.05f);
    EXPECT_FLOAT_EQ(endgame_scale(fortress.tb->pos, -100), 0.65f);  // the tree reads the favoured side
    auto trace = std::make_unique<HceTrace>();
    int scaled = hce_trace(*fortress.es, fortress.tb->pos, *trace);
    EXPECT_FLOAT_EQ(trace->scale, 0.05f);
    EXPECT_GE(scaled, 0);
    EXPECT_LT(scaled, 30);
    // The same with a light-squared bishop is no fortress.
    HceCase light("1k6/8/8/8/8/8/P7/K2B4 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(light.tb->pos, 100), 1.0f);
    // And the colour-flipped fortress, from black's side.
    HceCase black("k1b5/p7/8/8/8/8/8/1K6 b - -");
    EXPECT_FLOAT_EQ(endgame_scale(black.tb->pos, -100), 0.05f);

    // Opposite-coloured bishops with a pawn more: 0.5.
    HceCase ocb("4k3/5p2/4b3/8/8/2B5/P4P2/4K3 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(ocb.tb->pos, 80), 0.5f);
    // Same-coloured bishops: unscaled.
    HceCase scb("4k3/5p2/3b4/8/8/2B5/P4P2/4K3 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(scb.tb->pos, 80), 1.0f);
    // Minor piece without pawns: 0.65; with w above 8 no scaling at all.
    HceCase minor("4k3/8/8/8/8/2B5/8/4K2n w - -");
    EXPECT_FLOAT_EQ(endgame_scale(minor.tb->pos, 80), 0.65f);
    HceCase queens("3qk3/8/8/8/8/8/8/3QK3 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(queens.tb->pos, 80), 1.0f);
    // A single pawn against a knight brings no material edge: 0.75.
    HceCase single("4k3/8/8/3n4/8/2B5/P7/4K3 w - -");
    EXPECT_FLOAT_EQ(endgame_scale(single.tb->pos, 80), 0.75f);
}

TEST(HcePins, KingAndQueenShields) {
    init_eval_tests();
    // Knight e2 pinned by the rook e8, pawn d2 by the bishop a5.
    auto tb = board_at("4r1k1/8/8/b7/8/8/3PN3/4K3 w - -");
    EXPECT_EQ(pinned_pieces(tb->pos, WHITE), bb("e2") | bb("d2"));
    // Two pieces between: nothing is pinned.
    tb = board_at("4r1k1/8/8/8/8/4P3/4N3/4K3 w - -");
    EXPECT_EQ(pinned_pieces(tb->pos, WHITE), 0u);
    // An enemy piece between does not count as a pin of ours.
    tb = board_at("4r1k1/8/8/8/8/8/4n3/4K3 w - -");
    EXPECT_EQ(pinned_pieces(tb->pos, WHITE), 0u);
    // Shield of the queen: the knight d4 stands between the queen d1 and the rook d8;
    // a queen does not pin against the queen.
    tb = board_at("3r2k1/8/8/8/3N4/8/5B2/3QK2q w - -");
    EXPECT_EQ(pinned_pieces(tb->pos, WHITE), bb("d4"));
    EXPECT_EQ(pinned_pieces(tb->pos, BLACK), 0u);
}

TEST(HceThreats, HungPiecesAndFreePawns) {
    init_eval_tests();
    // Black's pawn c6 attacks the knight d5; the pawn a6 runs freely.
    HceCase c("6k1/8/P1p5/3N4/8/8/8/6K1 w - -");
    c.eval();
    EXPECT_TRUE(c.state().hung_pieces & bb("d5"));
    EXPECT_TRUE(c.state().free_pawns & bb("a6"));
    HceCase quiet(START_FEN);
    quiet.eval();
    EXPECT_EQ(quiet.state().hung_pieces, 0u);
    EXPECT_EQ(quiet.state().free_pawns, 0u);
}

TEST(HceTrace, CategoryTotalsAndTheTunersLinearModel) {
    init_eval_tests();
    auto es = fresh_eval_state();
    auto trace = std::make_unique<HceTrace>();
    int checked = 0;
    for (const std::string& fen : random_game_positions(8, 120, 99)) {
        auto tb = board_at(fen);
        es->hce.eval_trace = 1;
        es->eval_ply = 0;
        int score = hce_evaluate(*es, tb->pos);
        for (int side = 0; side < 2; side++) {
            Score sum = 0;
            for (int c = 0; c < CAT_COUNT; c++) sum += es->hce.term_totals[side][c];
            ASSERT_EQ(sum, es->hce.total[side]);
        }
        // The trace reproduces the score up to the truncation of each term.
        ASSERT_EQ(hce_trace(*es, tb->pos, *trace), score);
        double mg = 0, eg = 0;
        for (int i = 0; i < param_count; i++) {
            float n = trace->coef[i][tb->pos.side] - trace->coef[i][tb->pos.side ^ 1];
            mg += n * param_table[i].mg;
            eg += n * param_table[i].eg;
        }
        double model = trace->scale * (trace->phase * mg + (1 - trace->phase) * eg);
        ASSERT_LE(std::fabs(model - score), 12 + 0.02 * std::fabs(score)) << fen;
        checked++;
    }
    EXPECT_GT(checked, 500);
}
