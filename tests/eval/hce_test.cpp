// The hand-crafted evaluation as a whole: the pawn cache, endgame scaling,
// pins, colour and wing symmetry over random games, the display's totals.

#include <random>

#include "eval/params.h"
#include "eval/scale.h"
#include "eval_support.h"

// The cache key folds in each king's wing (pawn scores depend on it); an
// entry is trusted from ply 2 on.
TEST(Hce, PawnCacheKeyAndTrust) {
    init_eval_tests();
    EvalCase a("4k3/pp6/8/8/8/8/PP6/4K3 w - -"), b("3k4/pp6/8/8/8/8/PP6/4K3 w - -"), c("3k4/pp6/8/8/8/8/PP6/3K4 w - -");
    EXPECT_EQ(a.tb->pos.pawnKey, b.tb->pos.pawnKey);
    EXPECT_NE(pawn_cache_key(a.tb->pos), pawn_cache_key(b.tb->pos));
    EXPECT_NE(pawn_cache_key(b.tb->pos), pawn_cache_key(c.tb->pos));
    const int first = a.hce(2);
    EXPECT_EQ(a.hce(2), first);
    EXPECT_EQ(a.es->hce.pawn_hits, 1u);
    EXPECT_EQ(a.hce(1), first);
    EXPECT_EQ(a.es->hce.pawn_hits * 10 + a.es->hce.pawn_probes, 13u);
}

TEST(Hce, EndgameScalingAndPins) {
    init_eval_tests();
    const struct { const char* fen; int white_score; float scale; } cases[] = {
        // King, a-pawn and dark-squared bishop against the king on b8 (a8 is light); the tree reads the favoured side.
        {"1k6/8/8/8/8/8/P7/K1B5 w - -", 100, 0.05f}, {"1k6/8/8/8/8/8/P7/K1B5 w - -", -100, 0.65f},
        {"1k6/8/8/8/8/8/P7/K2B4 w - -", 100, 1.0f},             // a light-squared bishop
        {"k1b5/p7/8/8/8/8/8/1K6 b - -", -100, 0.05f},           // black's fortress
        {"4k3/5p2/4b3/8/8/2B5/P4P2/4K3 w - -", 80, 0.5f},       // opposite bishops, a pawn up
        {"4k3/5p2/3b4/8/8/2B5/P4P2/4K3 w - -", 80, 1.0f},       // bishops of one colour
        {"4k3/8/8/8/8/2B5/8/4K2n w - -", 80, 0.65f},            // a minor piece, no pawns
        {"3qk3/8/8/8/8/8/8/3QK3 w - -", 80, 1.0f},              // w above 8
        {"4k3/8/8/3n4/8/2B5/P7/4K3 w - -", 80, 0.75f},          // a single pawn against a knight
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(endgame_scale(board_from(c.fen)->pos, c.white_score), c.scale) << c.fen;
    // The scaled score itself, through the trace.
    EvalCase fortress("1k6/8/8/8/8/8/P7/K1B5 w - -");
    auto trace = std::make_unique<HceTrace>();
    const int scaled = hce_trace(*fortress.es, fortress.tb->pos, *trace);
    EXPECT_FLOAT_EQ(trace->scale, 0.05f);
    EXPECT_TRUE(scaled >= 0 && scaled < 30) << scaled;
    // Pins against the king and the queen: the d4 knight shields the queen d1
    // from the d8 rook; a queen does not pin against the queen.
    const struct { const char* fen; int side; Bitboard pinned; } pins[] = {
        {"4r1k1/8/8/b7/8/8/3PN3/4K3 w - -", WHITE, bb("e2") | bb("d2")},
        {"4r1k1/8/8/8/8/4P3/4N3/4K3 w - -", WHITE, 0},  // two pieces between
        {"4r1k1/8/8/8/8/8/4n3/4K3 w - -", WHITE, 0},    // an enemy piece between
        {"3r2k1/8/8/8/3N4/8/5B2/3QK2q w - -", WHITE, bb("d4")}, {"3r2k1/8/8/8/3N4/8/5B2/3QK2q w - -", BLACK, 0}};
    for (const auto& p : pins) EXPECT_EQ(pinned_pieces(board_from(p.fen)->pos, p.side), p.pinned) << p.fen;
}

// Colour-flipped and mirrored twins of positions from random games score the
// same, with distinct values on every table square so that a wrongly oriented
// lookup shows. (Two queens of one colour break symmetry on purpose: pins
// against "the" queen use the lowest-numbered one.) The display's category
// totals add up to each side's total, and the trace gives the same score.
TEST(Hce, ColourFlipMirrorAndTheTraceOverRandomGames) {
    init_eval_tests();
    std::mt19937 rng(7);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) {
        const int mg = int(rng() % 61) - 30, eg = int(rng() % 61) - 30;
        param_table[i].packed = make_score(mg, eg);
        param_table[i].mg = float(mg), param_table[i].eg = float(eg);
    }
    int flips = 0;
    auto es = std::make_unique<EvalState>();
    auto trace = std::make_unique<HceTrace>();
    for (const std::string& fen : random_game_fens(2024, 40, 160)) {
        auto tb = board_from(fen);
        es->hce.eval_trace = 1;
        es->eval_ply = 0;
        const int score = hce_evaluate(*es, tb->pos);
        for (int side = 0; side < 2; side++) {
            Score sum = 0;
            for (int c = 0; c < CAT_COUNT; c++) sum += es->hce.term_totals[side][c];
            ASSERT_EQ(sum, es->hce.total[side]) << fen;
        }
        if (flips % 8 == 0) { ASSERT_EQ(hce_trace(*es, tb->pos, *trace), score) << fen; }
        if (popcount(tb->pos.pieces[WHITE][QUEEN]) > 1 || popcount(tb->pos.pieces[BLACK][QUEEN]) > 1) continue;
        ASSERT_EQ(hce_of(transformed(tb->pos, true)), score) << fen << " flipped";
        ASSERT_EQ(hce_of(transformed(tb->pos, false)), score) << fen << " mirrored";
        flips++;
    }
    EXPECT_GT(flips, 3000);
    init_eval_tests();
}
