// The search's decisions as small pure functions of what a node or the root
// knows: table scores and cut-offs, the window clamp, the pruning plan of a
// node, null-move and late-move reductions, late-move pruning, aspiration
// windows and the depth of helper threads. The search calls them; the tests
// hold them against the rules worked out by hand.
#pragma once
#include <algorithm>
#include <cstdlib>

#include "search/selectivity.h"
#include "search/tt.h"
#include "search/tunables.h"

enum NodeType : int { ALL_NODE = -1, PV_NODE = 0, CUT_NODE = 1 };

namespace rules {

using namespace tune;

// Fail-hard at the node entry, except for mate scores, which pass unchanged
// so that mate distances stay exact.
inline int clamp_to_window(int result, int alpha, int beta) {
    if (beta <= result && result <= MATE_BOUND) return beta;
    if (result > alpha || result < -MATE_BOUND) return result;
    return alpha;
}

// A stored score seen from a node at `ply` with `depth` to go: mate scores
// are made relative to this node; a deeper result is trusted a little less.
inline int table_score(int score, int entry_depth, int depth, int ply) {
    if (score < -9798) return score + ply;
    if (score > 9798) return score - ply;
    if (entry_depth > depth) score -= (entry_depth - depth) * score / 256;
    return score;
}

// Whether the table's score settles a node outright (never at a PV node).
inline bool table_cutoff(int score, int bound, int alpha, int beta, int node_type, int depth, int entry_depth) {
    if (node_type == PV_NODE || depth > entry_depth) return false;
    return (score >= beta && bound != BOUND_UPPER) || (score <= alpha && bound != BOUND_LOWER) ||
           (alpha < score && score < beta && bound == BOUND_EXACT);
}

// What a node knows once it has its static evaluation.
struct NodeFacts {
    int depth, eval, alpha, beta, node_type, fifty, table_depth;
    bool in_check;
    bool has_pieces;         // the side to move has more than pawns and king
    bool predicts_fail_low;  // the table expects a result at or below alpha
    bool after_null;         // the move that led here was a null move
};

// What a node does before its move loop.
enum NodeAction { NODE_SEARCH, NODE_RAZOR, NODE_STATIC_CUTOFF, NODE_NULL_MOVE, NODE_INTERNAL_DEEPENING };

struct NodePlan {
    NodeAction action;
    bool reduce;  // searched one ply less when it has no hash move (and depth > 2)
};

// Razoring far below alpha, static pruning far above beta unless a piece or a
// pawn about to queen is threatened, the null move at expected cut nodes, and
// internal deepening at PV nodes without a deep enough table move.
// `threatened` is asked only when static pruning would otherwise cut.
template <class ThreatTest>
inline NodePlan plan_node(const NodeFacts& f, ThreatTest threatened) {
    const Selectivity& s = selectivity;
    if (f.in_check || f.fifty + f.depth > 99) return {NODE_SEARCH, false};
    if (f.depth <= s.fp_depth && f.eval <= f.alpha - fp_margin(f.depth) && f.alpha <= 2999 && f.node_type != PV_NODE)
        return {NODE_RAZOR, false};
    const bool null_move = f.eval > f.beta + NULL_MOVE_MARGIN && f.has_pieces && !f.predicts_fail_low && !f.after_null;
    if (f.depth <= s.sep_depth && f.eval >= f.beta + sep_margin(f.depth) && f.beta >= -(TB_WIN_BOUND - 1) &&
        f.node_type == CUT_NODE) {
        if (!f.has_pieces || f.predicts_fail_low) return {NODE_SEARCH, true};
        if (!threatened()) return {NODE_STATIC_CUTOFF, false};
        return {f.depth >= s.nmp_depth && null_move ? NODE_NULL_MOVE : NODE_SEARCH, true};
    }
    if (f.depth < s.nmp_depth || f.node_type != CUT_NODE) {
        if (f.node_type == PV_NODE && f.depth >= IID_MIN_DEPTH && f.table_depth < f.depth - IID_REDUCTION)
            return {NODE_INTERNAL_DEEPENING, false};
        return {NODE_SEARCH, true};
    }
    return {null_move ? NODE_NULL_MOVE : NODE_SEARCH, true};
}

// The null move's depth reduction: the child searches depth - R - 1.
inline int null_move_reduction(int depth) {
    int r = depth / 8 + 3;
    return depth <= r ? depth - 1 : r;
}

// A null-move fail-high deeper than this is verified by a search at depth - 5.
inline bool null_move_needs_verification(int depth) { return depth > NULL_MOVE_VERIFY_DEPTH; }

// What the move loop knows about one move.
struct MoveFacts {
    int depth, node_type;
    int best;          // the best score so far (-10001 before the first move)
    int searched;      // moves searched before this one
    int picker_score;  // the move's ordering score
    bool in_check, improving, tactical;
    bool eval_above_alpha;  // the node's static evaluation beat the alpha it was entered with
};

// Late quiet moves beyond 2 * depth + 1 (+ 4 when promising) and moves that
// lose material are skipped near the leaves of non-PV nodes, once a move has
// a real score. `see_fails` is asked only when the count does not decide.
template <class SeeFails>
inline bool prune_late_move(const MoveFacts& m, SeeFails see_fails) {
    if (m.depth > selectivity.lmp_depth || m.node_type == PV_NODE || m.best < LMP_GUARD) return false;
    if (!m.tactical) {
        bool promising = m.eval_above_alpha || m.picker_score > LMP_PASS_SCORE;
        return m.searched >= 2 * m.depth + (promising ? 4 : 1) || see_fails();
    }
    return m.depth <= 1 && m.picker_score <= LMP_TACTICAL_SCORE && see_fails();
}

// The reduction of a late move: from the tables, at most one ply in check or
// for a tactical move, none for the second move when improving or tactical,
// one more when it loses material; always leaving at least one ply.
template <class SeeFails>
inline int late_move_reduction(const MoveFacts& m, SeeFails see_fails) {
    if (m.depth < selectivity.lmr_depth) return 0;
    const int capped = std::clamp(m.depth, 0, 30);
    const int8_t(*table)[32] = m.node_type == PV_NODE ? selectivity.lmr_pv : selectivity.lmr_other;
    int r = table[capped][std::min(m.searched, 30)];
    if (m.in_check) r = std::min(r, 1);
    if (m.searched == 1) {
        if (m.improving || m.tactical) r = 0;
    } else if (m.tactical) {
        r = m.picker_score > LMR_KEEP_TACTICAL || m.searched <= 1 ? 0 : std::min(r, 1);
    }
    if (see_fails()) r += 1;
    if (r >= capped) r = std::max(capped - 1, 0);
    return r;
}

// Half-width of the first aspiration window around the previous score p.
inline int aspiration_delta(int p, int depth, float target_nps) {
    int delta = std::abs(p) < ASPIRATION_NARROW_LIMIT ? std::abs(p) / 16 + ASPIRATION_BASE : ASPIRATION_WIDE;
    if (depth <= 6 && target_nps > ASPIRATION_SLOW_NPS) delta += 70 - 10 * depth;  // a throttled search
    return delta;
}

// After a try that failed low or high: the failing bound moves out by delta
// (at least to the result), and delta grows by half.
inline void widen_window(int& alpha, int& beta, int& delta, int best) {
    if (best <= alpha)
        alpha = std::min(alpha - delta, best);
    else if (beta <= best)
        beta = std::max(beta + delta, best);
    delta += delta / 2;
}

// The iteration depth of a helper thread: from depth 6 on (single PV) one
// deeper for indices with bit 2 set, never more than two beyond the main thread.
inline int helper_depth(int index, int depth, int main_depth, int multipv, int depth_limit) {
    if (depth < 6 || multipv != 1) return depth;
    int wanted = depth + ((index & 4) ? 1 : 0);
    int chosen = main_depth > wanted ? main_depth : std::min(main_depth + 2, wanted);
    return std::min(depth_limit, chosen);
}

}  // namespace rules
