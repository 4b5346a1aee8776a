// The search's formulas, each against a table of cases worked out by hand:
// the selectivity margins and reduction tables, table scores and cut-offs,
// the window clamp, the plan of a node before its moves, null-move and
// late-move reductions, late-move pruning, aspiration windows, helper depths.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "search/rules.h"
#include "search/selectivity.h"

using namespace rules;

namespace {

void build_with(int selectivity_percent, int fp_depth = 4, int sep_depth = 3) {
    set_default_options();
    options.selectivity = int16_t(selectivity_percent);
    options.fp_depth = int16_t(fp_depth);
    options.sep_depth = int16_t(sep_depth);
    build_selectivity();
}

std::vector<int> margins(const int32_t (&table)[8]) { return std::vector<int>(table + 1, table + 8); }

}  // namespace

TEST(SearchRules, SelectivityMargins) {
    build_with(100);
    EXPECT_EQ(margins(selectivity.fp_margin), (std::vector<int>{100, 200, 300, 400, 9000, 9000, 9000}));
    EXPECT_EQ(margins(selectivity.sep_margin), (std::vector<int>{50, 100, 150, 9000, 9000, 9000, 9000}));
    EXPECT_EQ(fp_margin(8), 9000);
    // F = 1.5 / 0.7 at 20 %; 10 % and 0 % count as 20 %.
    for (int s : {20, 10, 0}) {
        build_with(s, 7, 7);
        EXPECT_EQ(margins(selectivity.fp_margin), (std::vector<int>{214, 428, 642, 857, 1071, 1285, 1500})) << s;
        EXPECT_EQ(margins(selectivity.sep_margin), (std::vector<int>{107, 214, 321, 428, 535, 642, 750})) << s;
    }
    // F = 0.6 at 200 % (and 250 %); SEP_depth 0 switches static pruning off.
    build_with(250, 4, 0);
    EXPECT_EQ(margins(selectivity.fp_margin), (std::vector<int>{60, 120, 180, 240, 9000, 9000, 9000}));
    EXPECT_EQ(margins(selectivity.sep_margin), (std::vector<int>{9000, 9000, 9000, 9000, 9000, 9000, 9000}));
}

TEST(SearchRules, ReductionTables) {
    build_with(100);
    const int columns[10] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 30};
    const struct { int depth; int pv[10], other[10]; } rows[] = {
        {3, {0, 0, 0, 0, 0, 1, 1, 1, 2, 2}, {0, 1, 1, 1, 1, 2, 2, 2, 3, 3}},
        {8, {0, 0, 1, 1, 1, 1, 2, 2, 3, 3}, {1, 1, 2, 2, 2, 2, 3, 3, 4, 4}},
        {12, {1, 1, 1, 1, 1, 2, 2, 2, 3, 3}, {1, 2, 2, 2, 3, 3, 3, 4, 4, 5}},
        {30, {1, 2, 2, 2, 3, 3, 3, 3, 3, 3}, {1, 2, 3, 4, 4, 4, 5, 5, 5, 5}},
    };
    for (const auto& row : rows)
        for (int c = 0; c < 10; c++) {
            EXPECT_EQ(selectivity.lmr_pv[row.depth][columns[c]], row.pv[c]) << row.depth << "/" << columns[c];
            EXPECT_EQ(selectivity.lmr_other[row.depth][columns[c]], row.other[c]) << row.depth << "/" << columns[c];
        }
    for (int m = 0; m < 32; m++) {  // nothing at depths 1 and 2, nothing for the first move
        EXPECT_EQ(selectivity.lmr_other[2][m] + selectivity.lmr_other[1][m], 0);
        EXPECT_EQ(selectivity.lmr_other[m][0] + selectivity.lmr_pv[m][0], 0);
    }
    // 200 %: twice the raw value, capped at 3 and 5. At d 8, m 3 the raw values
    // are 0.572 (PV) and 1.672; at d 30, m 30 they are far above the caps.
    build_with(200);
    EXPECT_EQ(selectivity.lmr_pv[8][3], 1);
    EXPECT_EQ(selectivity.lmr_other[8][3], 3);
    EXPECT_EQ(selectivity.lmr_pv[30][30], 3);
    EXPECT_EQ(selectivity.lmr_other[30][30], 5);
    build_with(20);  // 5.828 x 0.2
    EXPECT_EQ(selectivity.lmr_other[30][30], 1);
}

TEST(SearchRules, TableScoresCutoffsAndTheWindowClamp) {
    // Deeper entries shrink toward zero by (entry depth - depth) / 256; mates turn relative to the node.
    EXPECT_EQ(table_score(400, 12, 8, 5), 394);
    EXPECT_EQ(table_score(-400, 12, 8, 5), -394);
    EXPECT_EQ(table_score(400, 8, 8, 5), 400);
    EXPECT_EQ(table_score(9995, 20, 8, 3), 9992);
    EXPECT_EQ(table_score(-9995, 20, 8, 3), -9992);

    const int UPPER = 1, LOWER = 2, EXACT = 3;  // score, bound, alpha, beta, node type, depth, entry depth
    EXPECT_TRUE(table_cutoff(250, LOWER, 100, 200, CUT_NODE, 5, 5));
    EXPECT_FALSE(table_cutoff(250, UPPER, 100, 200, CUT_NODE, 5, 5));
    EXPECT_TRUE(table_cutoff(50, UPPER, 100, 200, ALL_NODE, 5, 9));
    EXPECT_FALSE(table_cutoff(50, LOWER, 100, 200, ALL_NODE, 5, 9));
    EXPECT_TRUE(table_cutoff(150, EXACT, 100, 200, CUT_NODE, 5, 5));
    EXPECT_FALSE(table_cutoff(150, LOWER, 100, 200, CUT_NODE, 5, 5));
    EXPECT_FALSE(table_cutoff(250, EXACT, 100, 200, PV_NODE, 5, 9));  // never at a PV node
    EXPECT_FALSE(table_cutoff(250, EXACT, 100, 200, CUT_NODE, 6, 5));  // not from a shallower entry

    EXPECT_EQ(clamp_to_window(8500, 100, 200), 8500);
    EXPECT_EQ(clamp_to_window(300, 100, 200), 200);
    EXPECT_EQ(clamp_to_window(150, 100, 200), 150);
    EXPECT_EQ(clamp_to_window(50, 100, 200), 100);
    EXPECT_EQ(clamp_to_window(-8500, 100, 200), -8500);
}

// Each row: what the node knows, whether a piece is threatened, and the plan:
// N null move, R razor, C static cut-off, I internal deepening, S search; '+'
// when the search loses a ply without a hash move. FP_depth 4, SEP_depth 3, NMP_depth 3.
TEST(SearchRules, PlanOfANodeBeforeItsMoves) {
    build_with(100);
    const int CUT = CUT_NODE, ALL = ALL_NODE, PV = PV_NODE;
    const struct { NodeFacts f; bool threat; const char* plan; } cases[] = {
        // depth, eval, alpha, beta, type, fifty, table depth, in check, pieces, fail-low predicted, after null
        // Null move: eval above beta + 14 at an expected cut node with pieces, not after a null move.
        {{5, 20, -1, 0, CUT, 0, -128, false, true, false, false}, false, "N+"},
        {{5, 14, -1, 0, CUT, 0, -128, false, true, false, false}, false, "S+"},
        {{5, 20, -1, 0, CUT, 0, -128, false, true, false, true}, false, "S+"},
        {{5, 20, -1, 0, CUT, 0, -128, false, false, false, false}, false, "S+"},
        {{5, 20, -1, 0, CUT, 0, -128, false, true, true, false}, false, "S+"},
        {{5, 20, -1, 0, ALL, 0, -128, false, true, false, false}, false, "S+"},
        // In check, or near the fifty-move draw (fifty + depth > 99): nothing, not even the reduction.
        {{5, 20, -1, 0, CUT, 0, -128, true, true, false, false}, false, "S"},
        {{5, 20, -1, 0, CUT, 95, -128, false, true, false, false}, false, "S"},
        {{5, 20, -1, 0, CUT, 94, -128, false, true, false, false}, false, "N+"},
        // Razoring: depth <= 4, eval <= alpha - 100 x depth, alpha <= 2999, not at PV nodes.
        {{2, -200, 0, 1, CUT, 0, -128, false, true, false, false}, false, "R"},
        {{4, -400, 0, 1, ALL, 0, -128, false, true, false, false}, false, "R"},
        {{2, -199, 0, 1, ALL, 0, -128, false, true, false, false}, false, "S+"},
        {{5, -900, 0, 1, ALL, 0, -128, false, true, false, false}, false, "S+"},
        {{2, 0, 3000, 3001, ALL, 0, -128, false, true, false, false}, false, "S+"},
        {{2, -500, 0, 1, PV, 0, -128, false, true, false, false}, false, "S+"},
        // Static pruning: depth <= 3, eval >= beta + 50 x depth, beta >= -2999, expected cut nodes;
        // it cuts unless something is threatened, and then tries the null move from NMP_depth on.
        {{3, 150, -1, 0, CUT, 0, -128, false, true, false, false}, false, "C"},
        {{3, 150, -1, 0, CUT, 0, -128, false, true, false, false}, true, "N+"},
        {{2, 100, -1, 0, CUT, 0, -128, false, true, false, false}, true, "S+"},
        {{3, 149, -1, 0, CUT, 0, -128, false, true, false, false}, false, "N+"},  // below the margin
        {{2, 99, -1, 0, CUT, 0, -128, false, true, false, false}, false, "S+"},
        {{3, 3150, -3001, -3000, CUT, 0, -128, false, true, false, false}, false, "N+"},
        // Internal deepening at PV nodes from depth 4 whose table depth is below depth - 3.
        {{4, 20, -1, 0, PV, 0, 0, false, true, false, false}, false, "I"},
        {{4, 20, -1, 0, PV, 0, 1, false, true, false, false}, false, "S+"},
        {{3, 20, -1, 0, PV, 0, -128, false, true, false, false}, false, "S+"},
    };
    for (const auto& c : cases) {
        const NodePlan plan = plan_node(c.f, [&] { return c.threat; });
        const std::string got = std::string(1, "SRCNI"[plan.action]) + (plan.reduce ? "+" : "");
        EXPECT_EQ(got, c.plan) << "depth " << c.f.depth << " eval " << c.f.eval << " type " << c.f.node_type;
    }
    // The threat test runs only when it decides: not without pieces, not when the table expects a fail-low.
    int asked = 0;
    for (bool pieces : {false, true}) plan_node(NodeFacts{3, 150, -1, 0, CUT, 0, -128, false, pieces, pieces, false}, [&] { return ++asked, false; });
    EXPECT_EQ(asked, 0);
}

TEST(SearchRules, NullMoveReductionAndVerification) {
    const int expected[][2] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {10, 4}, {15, 4}, {16, 5}, {24, 6}};
    for (auto [depth, r] : expected) EXPECT_EQ(null_move_reduction(depth), r) << depth;
    EXPECT_FALSE(null_move_needs_verification(5));  // returns beta at once
    EXPECT_TRUE(null_move_needs_verification(6));   // verified at depth 1
}

// Each row: the move's facts, whether its exchange fails, and whether it is
// pruned (LMP_depth 6) and how much it is reduced (LMR_depth 3; tables
// non-PV [8][6] = 2, PV [8][6] = 1, non-PV [8][1] = 1, [3][30] = 3, [30][30] = 5).
TEST(SearchRules, LateMovePruningAndReductions) {
    build_with(100);
    const int CUT = CUT_NODE, PV = PV_NODE;
    const struct { MoveFacts m; bool see_fails; bool pruned; int reduction; } cases[] = {
        // depth, node type, best, searched, picker score, in check, improving, tactical, eval above alpha
        {{2, CUT, 0, 4, 0, false, false, false, false}, false, false, 0},  // 4 searched, limit 2 x 2 + 1
        {{2, CUT, 0, 4, 0, false, false, false, false}, true, true, 0},
        {{2, CUT, 0, 5, 0, false, false, false, false}, false, true, 0},
        {{2, CUT, 0, 7, 0, false, false, false, true}, false, false, 0},   // promising: limit 2 x 2 + 4
        {{2, CUT, 0, 8, 0, false, false, false, true}, false, true, 0},
        {{2, CUT, 0, 7, 32, false, false, false, false}, false, false, 0},  // promising by its picker score
        {{2, CUT, 0, 5, 31, false, false, false, false}, false, true, 0},
        {{2, PV, 0, 9, 0, false, false, false, false}, true, false, 0},   // never at PV nodes,
        {{7, CUT, 0, 30, 0, false, false, false, false}, false, false, 4},  // above LMP_depth,
        {{2, CUT, -9100, 9, 0, false, false, false, false}, true, false, 0},  // or before a real score
        {{2, CUT, -9099, 9, 0, false, false, false, false}, false, true, 0},
        {{1, CUT, 0, 20, 99, false, false, true, false}, true, true, 0},  // tactical: depth 1, score <= 99, losing
        {{1, CUT, 0, 20, 99, false, false, true, false}, false, false, 0},
        {{1, CUT, 0, 20, 100, false, false, true, false}, true, false, 0},
        {{2, CUT, 0, 20, 99, false, false, true, false}, true, false, 0},
        // Reductions, at depth 8 with six moves searched unless said otherwise.
        {{8, CUT, 0, 6, 0, false, false, false, false}, false, false, 2},
        {{8, CUT, 0, 6, 0, false, false, false, false}, true, false, 3},
        {{8, PV, 0, 6, 0, false, false, false, false}, false, false, 1},
        {{8, CUT, 0, 6, 0, true, false, false, false}, false, false, 1},
        {{8, CUT, 0, 1, 0, false, false, false, false}, false, false, 1},
        {{8, CUT, 0, 1, 0, false, true, false, false}, false, false, 0},
        {{8, CUT, 0, 1, 0, false, false, true, false}, true, false, 1},
        {{8, CUT, 0, 6, 149, false, false, true, false}, false, false, 1},
        {{8, CUT, 0, 6, 150, false, false, true, false}, false, false, 0},
        {{3, PV, 0, 30, 0, false, false, false, false}, true, false, 2},  // 2 + 1, capped at depth - 1
        {{3, PV, 0, 3, 0, false, false, false, false}, true, false, 1},
        {{45, CUT, 0, 60, 0, false, false, false, false}, false, false, 5},  // both capped at 30
    };
    for (const auto& c : cases) {
        auto see = [&] { return c.see_fails; };
        EXPECT_EQ(prune_late_move(c.m, see), c.pruned) << "depth " << c.m.depth << " searched " << c.m.searched;
        EXPECT_EQ(late_move_reduction(c.m, see), c.reduction) << "depth " << c.m.depth << " searched " << c.m.searched;
    }
}

TEST(SearchRules, AspirationWindowsAndHelperDepths) {
    const int deltas[][4] = {// previous score, depth, target nps, delta
                             {400, 8, 0, 45},   {0, 8, 0, 20},       {-1599, 8, 0, 119}, {1600, 8, 0, 120},
                             {0, 6, 2000, 30},  {0, 3, 2000, 60},    {0, 7, 2000, 20},   {0, 6, 1500, 20}};
    for (auto [p, depth, nps, delta] : deltas) EXPECT_EQ(aspiration_delta(p, depth, float(nps)), delta) << p << " " << depth;

    int alpha = -20, beta = 20, delta = 20;
    widen_window(alpha, beta, delta, -50);  // fail low: at least down to the result
    EXPECT_EQ(std::vector<int>({alpha, beta, delta}), std::vector<int>({-50, 20, 30}));
    widen_window(alpha, beta, delta, -60);
    EXPECT_EQ(std::vector<int>({alpha, beta, delta}), std::vector<int>({-80, 20, 45}));
    widen_window(alpha, beta, delta, 30);  // fail high
    EXPECT_EQ(std::vector<int>({alpha, beta, delta}), std::vector<int>({-80, 65, 67}));
    widen_window(alpha, beta, delta, 500);
    EXPECT_EQ(beta, 500);

    // index, depth, main thread's depth, MultiPV, depth limit -> depth searched
    const int helpers[][6] = {{4, 6, 6, 1, 80, 7}, {1, 6, 6, 1, 80, 6}, {4, 5, 5, 1, 80, 5}, {4, 6, 6, 2, 80, 6},
                              {1, 6, 9, 1, 80, 9}, {5, 10, 7, 1, 80, 9}, {4, 6, 6, 1, 6, 6}};
    for (auto [index, depth, main, multipv, limit, searched] : helpers)
        EXPECT_EQ(helper_depth(index, depth, main, multipv, limit), searched) << index << " " << depth << " " << main;
}
