// The search's formulas, each against a table of cases worked out by hand:
// the selectivity margins and reduction tables, table scores and cut-offs,
// the window clamp, the plan of a node before its moves, null-move and
// late-move reductions, late-move pruning, aspiration windows, helper depths.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "search/rules.h"
#include "search/selectivity.h"
#include "search_env.h"

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

constexpr auto NO_THREAT = [] { return false; };
constexpr auto THREAT = [] { return true; };
constexpr auto SEE_OK = [] { return false; };
constexpr auto SEE_FAILS = [] { return true; };

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

TEST(SearchRules, PlanOfANodeBeforeItsMoves) {
    build_with(100);  // FP_depth 4, SEP_depth 3, NMP_depth 3
    // depth, eval, alpha, beta, node type, fifty, table depth, in check, pieces, fail-low predicted, after null
    const NodeFacts base{5, 20, -1, 0, CUT_NODE, 0, -128, false, true, false, false};
    auto plan = [&](auto change, auto threat) {
        NodeFacts f = base;
        change(f);
        return plan_node(f, threat);
    };
    auto action = [&](auto change) { return plan(change, NO_THREAT).action; };

    // Null move: eval above beta + 14 at an expected cut node with pieces, not after a null move.
    EXPECT_EQ(action([](NodeFacts&) {}), NODE_NULL_MOVE);
    EXPECT_TRUE(plan([](NodeFacts&) {}, NO_THREAT).reduce);
    EXPECT_EQ(action([](NodeFacts& f) { f.eval = 14; }), NODE_SEARCH);
    EXPECT_EQ(action([](NodeFacts& f) { f.after_null = true; }), NODE_SEARCH);
    EXPECT_EQ(action([](NodeFacts& f) { f.has_pieces = false; }), NODE_SEARCH);
    EXPECT_EQ(action([](NodeFacts& f) { f.predicts_fail_low = true; }), NODE_SEARCH);
    EXPECT_EQ(action([](NodeFacts& f) { f.node_type = ALL_NODE; }), NODE_SEARCH);
    // In check, or near the fifty-move draw: nothing, not even the reduction.
    for (auto off : {+[](NodeFacts& f) { f.in_check = true; }, +[](NodeFacts& f) { f.fifty = 95; }}) {
        EXPECT_EQ(action(off), NODE_SEARCH);
        EXPECT_FALSE(plan(off, NO_THREAT).reduce);
    }
    EXPECT_EQ(action([](NodeFacts& f) { f.fifty = 94; }), NODE_NULL_MOVE);  // 94 + 5 = 99

    // Razoring: depth <= 4, eval <= alpha - 100 x depth, alpha <= 2999, not at PV nodes.
    auto razor = [](int depth, int eval, int alpha, int node_type) {
        return [=](NodeFacts& f) { f.depth = depth, f.eval = eval, f.alpha = alpha, f.beta = alpha + 1, f.node_type = node_type; };
    };
    EXPECT_EQ(action(razor(2, -200, 0, CUT_NODE)), NODE_RAZOR);
    EXPECT_EQ(action(razor(4, -400, 0, ALL_NODE)), NODE_RAZOR);
    EXPECT_EQ(action(razor(2, -199, 0, ALL_NODE)), NODE_SEARCH);
    EXPECT_EQ(action(razor(5, -900, 0, ALL_NODE)), NODE_SEARCH);
    EXPECT_EQ(action(razor(2, 0, 3000, ALL_NODE)), NODE_SEARCH);
    EXPECT_EQ(action(razor(2, -500, 0, PV_NODE)), NODE_SEARCH);

    // Static pruning: depth <= 3, eval >= beta + 50 x depth, beta >= -2999, expected cut nodes only;
    // it cuts unless something is threatened, and then tries the null move from NMP_depth on.
    auto sep = [](int depth, int eval) { return [=](NodeFacts& f) { f.depth = depth, f.eval = eval; }; };
    EXPECT_EQ(action(sep(3, 150)), NODE_STATIC_CUTOFF);
    EXPECT_EQ(plan(sep(3, 150), THREAT).action, NODE_NULL_MOVE);
    EXPECT_EQ(plan(sep(2, 100), THREAT).action, NODE_SEARCH);
    EXPECT_TRUE(plan(sep(2, 100), THREAT).reduce);
    EXPECT_EQ(action(sep(3, 149)), NODE_NULL_MOVE);   // below the margin: the plain null move
    EXPECT_EQ(action(sep(2, 99)), NODE_SEARCH);       // ... which needs depth 3
    int asked = 0;
    auto counted = [&] { return ++asked, false; };
    EXPECT_EQ(plan([](NodeFacts& f) { f.depth = 3, f.eval = 150, f.has_pieces = false; }, counted).action, NODE_SEARCH);
    EXPECT_EQ(plan([](NodeFacts& f) { f.depth = 3, f.eval = 150, f.predicts_fail_low = true; }, counted).action,
              NODE_SEARCH);
    EXPECT_EQ(asked, 0);  // the threat test runs only when it decides

    // Internal deepening at PV nodes from depth 4 whose table depth is below depth - 3.
    auto pv = [](int depth, int table_depth) {
        return [=](NodeFacts& f) { f.depth = depth, f.table_depth = table_depth, f.node_type = PV_NODE; };
    };
    EXPECT_EQ(action(pv(4, 0)), NODE_INTERNAL_DEEPENING);
    EXPECT_FALSE(plan(pv(4, 0), NO_THREAT).reduce);
    EXPECT_EQ(action(pv(4, 1)), NODE_SEARCH);
    EXPECT_TRUE(plan(pv(4, 1), NO_THREAT).reduce);
    EXPECT_EQ(action(pv(3, -128)), NODE_SEARCH);
}

TEST(SearchRules, NullMoveReductionAndVerification) {
    const int expected[][2] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {10, 4}, {15, 4}, {16, 5}, {24, 6}};
    for (auto [depth, r] : expected) EXPECT_EQ(null_move_reduction(depth), r) << depth;
    EXPECT_FALSE(null_move_needs_verification(5));  // returns beta at once
    EXPECT_TRUE(null_move_needs_verification(6));   // verified at depth 1
}

TEST(SearchRules, LateMovePruning) {
    build_with(100);  // LMP_depth 6
    // depth, node type, best, searched, picker score, in check, improving, tactical, eval above alpha
    const MoveFacts quiet{2, CUT_NODE, 0, 4, 0, false, false, false, false};
    auto pruned = [](MoveFacts m, auto see) { return prune_late_move(m, see); };
    EXPECT_FALSE(pruned(quiet, SEE_OK));  // 4 searched, limit 2 x 2 + 1
    EXPECT_TRUE(pruned(quiet, SEE_FAILS));
    MoveFacts late = quiet;
    late.searched = 5;
    EXPECT_TRUE(pruned(late, SEE_OK));
    MoveFacts promising = late;
    promising.eval_above_alpha = true;  // limit 2 x 2 + 4
    EXPECT_FALSE(pruned(promising, SEE_OK));
    promising.searched = 8;
    EXPECT_TRUE(pruned(promising, SEE_OK));
    MoveFacts scored = late;
    scored.picker_score = 32;
    EXPECT_FALSE(pruned(scored, SEE_OK));
    scored.picker_score = 31;
    EXPECT_TRUE(pruned(scored, SEE_OK));
    // Never at PV nodes, above LMP_depth, or before a move has a real score.
    for (auto outside : {+[](MoveFacts& m) { m.node_type = PV_NODE; }, +[](MoveFacts& m) { m.depth = 7; },
                         +[](MoveFacts& m) { m.best = -9100; }}) {
        MoveFacts m = late;
        outside(m);
        EXPECT_FALSE(pruned(m, SEE_FAILS));
    }
    MoveFacts guard = late;
    guard.best = -9099;
    EXPECT_TRUE(pruned(guard, SEE_OK));
    // Tactical moves: only at depth 1, only with a picker score up to 99, only when the exchange fails.
    MoveFacts tactical{1, CUT_NODE, 0, 20, 99, false, false, true, false};
    EXPECT_TRUE(pruned(tactical, SEE_FAILS));
    EXPECT_FALSE(pruned(tactical, SEE_OK));
    tactical.picker_score = 100;
    EXPECT_FALSE(pruned(tactical, SEE_FAILS));
    tactical.picker_score = 99, tactical.depth = 2;
    EXPECT_FALSE(pruned(tactical, SEE_FAILS));
}

TEST(SearchRules, LateMoveReductions) {
    build_with(100);  // LMR_depth 3; non-PV [8][6] = 2, PV [8][6] = 1, non-PV [8][1] = 1, [3][30] = 3, [30][30] = 5
    const MoveFacts base{8, CUT_NODE, 0, 6, 0, false, false, false, false};
    auto r = [&](auto change, auto see) {
        MoveFacts m = base;
        change(m);
        return late_move_reduction(m, see);
    };
    const auto same = [](MoveFacts&) {};
    EXPECT_EQ(r(same, SEE_OK), 2);
    EXPECT_EQ(r(same, SEE_FAILS), 3);
    EXPECT_EQ(r([](MoveFacts& m) { m.node_type = PV_NODE; }, SEE_OK), 1);
    EXPECT_EQ(r([](MoveFacts& m) { m.depth = 2; }, SEE_FAILS), 0);  // below LMR_depth
    EXPECT_EQ(r([](MoveFacts& m) { m.in_check = true; }, SEE_OK), 1);
    EXPECT_EQ(r([](MoveFacts& m) { m.searched = 1; }, SEE_OK), 1);
    EXPECT_EQ(r([](MoveFacts& m) { m.searched = 1, m.improving = true; }, SEE_OK), 0);
    EXPECT_EQ(r([](MoveFacts& m) { m.searched = 1, m.tactical = true; }, SEE_FAILS), 1);
    EXPECT_EQ(r([](MoveFacts& m) { m.tactical = true, m.picker_score = 149; }, SEE_OK), 1);
    EXPECT_EQ(r([](MoveFacts& m) { m.tactical = true, m.picker_score = 150; }, SEE_OK), 0);
    EXPECT_EQ(r([](MoveFacts& m) { m.depth = 3, m.searched = 30; }, SEE_FAILS), 2);  // 3 + 1, capped at depth - 1
    EXPECT_EQ(r([](MoveFacts& m) { m.depth = 45, m.searched = 60; }, SEE_OK), 5);  // both capped at 30
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
