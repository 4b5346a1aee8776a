// Hand-crafted terms against values worked out by hand: every weight zero but
// the ones under test, with equal halves so the phase blend returns them
// exactly, and enough material that no ending is scaled.
#include <gtest/gtest.h>

#include <vector>

#include "eval/params.h"
#include "eval_support.h"

namespace {

struct Weight {
    const EvalParam* param;
    int value;
};

struct TermCase {
    const char* what;
    const char* fen;
    std::vector<Weight> weights;
    int expected;  // for the side to move
};

void set_weight(const EvalParam* param, int value) {
    EvalParam& p = param_table[param - param_table];
    p.packed = make_score(value, value);
    p.mg = p.eg = float(value);
}

// "weight x n": the product in single precision, truncated.
int times(float n, int weight) { return int(n * float(weight)); }

void check(const std::vector<TermCase>& cases) {
    for (const TermCase& c : cases) {
        for (int i = 0; i < param_count; i++) set_weight(&param_table[i], 0);
        for (const Weight& w : c.weights) set_weight(w.param, w.value);
        EXPECT_EQ(hce_of(c.fen), c.expected) << c.what << ": " << c.fen;
    }
    init_eval_tests();
}

const EvalHandles& h = eval_handles;

struct HceTerms : testing::Test {
    void SetUp() override { init_eval_tests(); }  // the handles the cases name
};

}  // namespace

TEST_F(HceTerms, MaterialTablesAndPawnStructure) {
    // White's reading of the tables; Black's, and the mirror for a king on files a-d, follow
    // from the colour-flip and mirror test over random games (Hce.ColourFlipMirror...).
    // a2, c2 and c3 isolated; e4 weak (f5 is ahead of it); c2 doubled and blocked; f5 defended by e4.
    const char* structure = "3qk3/8/8/5P2/4P3/2P5/P1P5/3QK3 w - -";
    check({
        {"rook a1, king e1", "4k3/8/8/8/8/8/8/R3K3 w - -",
         {{h.mtl_rook, 500}, {h.pst[PST_R][0], 7}, {h.pst[PST_R][7], 3}, {h.stm_bonus, 10}}, 517},
        {"king tables, the black king mirrored", "r2k4/8/8/8/8/8/8/6K1 w - -", {{h.pst[PST_K][6], 9}, {h.pst[PST_K][4], 5}}, 9 - 5},
        {"structure", structure,
         {{h.pawn_isolated, -10}, {h.pawn_weak, -7}, {h.pawn_doubled, -5}, {h.pawn_blocked, -3}, {h.pst[PST_DP][37], 4}},
         -30 - 7 - 5 - 3 + 4},
        {"material and the table of kings on one wing", structure, {{h.mtl_pawn, 100}, {h.pst[PST_P1][8], 2}}, 502},
        {"side by side", "3qk3/8/8/8/3PP3/8/8/3QK3 w - -",
         {{h.pst[PST_CP][27], 2}, {h.pst[PST_CP][28], 3}, {h.pst[PST_P1][27], 1}, {h.pst[PST_P2][27], 20}}, 6},
        {"kings on opposite wings", "1k1q4/8/8/8/3PP3/8/8/3Q2K1 w - -",
         {{h.pst[PST_CP][27], 2}, {h.pst[PST_CP][28], 3}, {h.pst[PST_P1][27], 1}, {h.pst[PST_P2][27], 20}}, 25},
    });
}

TEST_F(HceTerms, MobilityKingSafetyAndPassers) {
    check({
        // Knight d5: eight squares, an outpost defended by the e4 pawn.
        {"knight outpost", "3qk3/8/8/3N4/4P3/8/8/3QK3 w - -", {{h.knight_mobility, 100}, {h.knight_outpost, 30}},
         times(0.47f, 100) + 30},
        // Knight c3: d1 is its own, d5 is covered by the e6 pawn: six squares; it eyes the outpost b5.
        {"knight eyeing an outpost", "3qk3/8/4p3/8/8/2N5/8/3QK3 w - -",
         {{h.knight_mobility, 100}, {h.knight_outpost, 30}}, times(0.39f, 100) + times(0.33f, 30)},
        // Bishops c1 and f1: seven squares each, two of them in c3-f6 each, a pair.
        {"bishop pair", "3qk3/8/8/8/8/8/8/2BQKB2 w - -",
         {{h.bishop_mobility, 100}, {h.bishop_infiltration, 5}, {h.bishop_pair, 50}}, 2 * times(0.41f, 100) + 20 + 50},
        // Bishop f1 behind its own c4 pawn, rammed by c5 on a light square: four squares, d3 and c4 in the block.
        {"bishop and a rammed pawn", "3qk3/8/8/2p5/2P5/8/8/3QKB2 w - -",
         {{h.bishop_mobility, 100}, {h.bishop_infiltration, 5}, {h.bishop_rampawns, -10}}, times(0.2f, 100) + 10 - 10},
        // Rook a7: fourteen squares, three of its file in the enemy half, an open file, the seventh rank.
        {"rook on the seventh", "3qk3/R7/8/8/8/8/8/3QK3 w - -",
         {{h.rook_mobility, 100}, {h.rook_infiltration, 5}, {h.rook_openfile, 20}, {h.rook_7th, 30}},
         times(0.53f, 100) + 15 + 20 + 30},
        // Rook a1: sees through its queen to b1, c1, d1; d1 is its own, c1 the b3 knight's.
        {"rook shut in", "3qk3/8/8/8/8/1n6/P7/R2QK3 w - -",
         {{h.rook_mobility, 100}, {h.rook_infiltration, 5}, {h.rook_openfile, 20}}, times(-0.14f, 100)},
        // Queen a1: seventeen squares; four of them (a7, b1, b2, g7) are covered by the b7 rook.
        {"queen", "4k3/8/8/8/8/8/8/Q3K3 w - -", {{h.queen_mobility, 100}}, times(0.41f, 100)},
        {"queen and an enemy rook", "4k3/1r6/8/8/8/8/8/Q3K3 w - -", {{h.queen_mobility, 100}}, times(0.38f, 100)},
        // Full shield; the d8 rook has one safe check on d1.
        {"a check", "3rk3/8/8/8/8/8/5PPP/6K1 w - -", {{h.pawn_shield, 20}, {h.enemy_checks, -20}}, -20},
        // Black's king is walled in by its own pieces, with a shield of 6; White's king has no
        // shield at all and stands five expansions away from the pawns' files.
        {"trapped king and shields", "6rk/6pp/8/8/8/8/8/K6Q w - -",
         {{h.king_trapped, -30}, {h.pawn_shield, 20}, {h.king_pawn_dist, -8}},
         (times(-9 * 0.111f, 20) - 8) - (times(-3 * 0.111f, 20) - 30)},
        // d5: mobile, not free (d7 is the black king's); kings at distances 1 and 6 from d7.
        {"mobile passer", "q3k3/8/8/3P4/8/8/8/4K2Q w - -",
         {{h.ppawn_mobile, 100}, {h.ppawn_free, 1000}, {h.ppawn_base, 1000}, {h.ppawn_ekprox, 50}, {h.ppawn_fkprox, -20}},
         times(0.4f, 100) + times(float(-1 * 0.6 * 0.25), 50) + times(float(4 * 0.6 * 0.25), -20)},
        // Black's d3 and e3 run freely and defend each other's stop squares; kings 7 away from d1 and e1.
        {"free connected passers", "K6k/Q7/8/8/8/3pp3/7q/8 b - -",
         {{h.ppawn_free, 100}, {h.ppawn_mobile, 1000}, {h.ppawn_ekprox, 50}, {h.ppawn_fkprox, -20}, {h.ppawn_connected, 30}},
         2 * (times(0.64f, 100) + times(0.8f, 50) + times(0.8f, -20) + 30)},
        // c5 faces b7 but has d5 beside it; the black king is five squares from c7.
        {"candidate", "7k/1p6/8/2PP4/8/8/q7/4K1Q1 w - -", {{h.ppawn_candidate, 100}}, times(1.0f * 0.7f, 100)},
    });
}

TEST_F(HceTerms, HungAttackedPinnedAndPushes) {
    const std::vector<Weight> all = {{h.hung_pawn, -25}, {h.attacked_pawn, -5}, {h.hung_minor, -50},
                                     {h.attacked_minor, -20}, {h.hung_major, -60}, {h.pinned_piece, -15},
                                     {h.ppush_threat, -7}};
    check({
        {"pawn won twice over", "4k3/8/8/3p4/1N6/8/8/4K2Q b - -", all, -25},
        {"pawn attacked once, defended once", "3qk3/8/8/3p4/1N6/8/7Q/4K3 b - -", all, -5},
        // b5 hangs to c6, e2 is attacked and defended, a1 is hit by the f6 bishop, e2 is pinned; c6 hangs to b5.
        {"pieces", "4r1k1/8/2p2b2/1B6/8/8/4N3/R3K3 w - -", all, (-50 - 20 - 60 - 15) - (-25)},
        {"a pawn push would fork", "4k3/3p4/8/2N5/8/8/8/4K2Q w - -", {{h.ppush_threat, -7}}, -7},
    });
}
