#include "search/search.h"

#include <algorithm>
#include <cstring>

#include "board/move.h"
#include "board/movegen.h"
#include "board/movepick.h"
#include "board/see.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/draw.h"
#include "search/history.h"
#include "search/selectivity.h"
#include "search/strength.h"
#include "search/tt.h"
#include "search/tunables.h"
#include "tablebase/tb_probe.h"

namespace {

using namespace tune;

using namespace rules;

bool has_pieces(const Position& pos, int side) { return (pos.material[side] & ~0xFu) != 0; }

bool has_legal_move(SearchThread& t, int side) {
    int saved = t.plyIndex;
    gen_all(t.pos);
    bool found = false;
    for (const MoveEntry* e = t.ply[saved].moves; e->move != MOVE_END && !found; e++)
        found = is_legal(t.pos, side, e->move);
    return found;
}

// Would the side to move lose material if it passed? A piece that the
// opponent can win, or an enemy pawn about to queen that we cannot stop.
bool under_threat(const Position& pos, int side, int eval, int beta) {
    Bitboard occ = pos.occupied();
    for (Bitboard b = pos.pieces[side][0]; b;) {
        int sq = pop_lsb(b);
        int type = piece_type(pos.board[sq]);
        int value = SEE_VALUE[type];
        if (eval - value >= beta) continue;
        int attacker = least_attacker(pos, sq, side ^ 1, occ);
        if (attacker == NO_SQUARE) continue;
        int loss = SEE_KING_TAKEN;
        if (type != KING) {
            int regain = see_gain(pos, side, sq, piece_type(pos.board[attacker]), occ ^ square_bb(attacker));
            loss = std::max(0, value - regain);
        }
        if (eval - loss <= beta + THREAT_MARGIN) return true;
    }
    int enemy = side ^ 1;
    Bitboard runners = pos.pieces[enemy][PAWN] & (relative_rank_bb(enemy, 5) | relative_rank_bb(enemy, 6));
    for (Bitboard b = runners; b;) {
        int sq = pop_lsb(b);
        int front = sq + pawn_dir(enemy);
        if (pos.board[front]) continue;
        Bitboard without = occ ^ square_bb(sq);
        int stopper = least_attacker(pos, front, side, without);
        if (stopper == NO_SQUARE) return true;
        if (see_gain(pos, enemy, front, piece_type(pos.board[stopper]), without ^ square_bb(stopper)) >= 100)
            return true;
    }
    return false;
}

}  // namespace

int search_node(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line) {
    Position& pos = t.pos;

    // 1-3. Count the node; the main thread also keeps the speed limit and the node limits.
    bump(t.nodes);
    if (t.index == 0) {
        if (search_state.throttle) throttle_wait(t);
        if (t.root_fail != 1 && t.nodes >= options.min_nodes &&
            (t.nodes >= options.node_limit || t.iteration_depth >= options.second_depth))
            stop_search();
    }
    if (search_stopped()) return 0;

    // 4-6. Bookkeeping; the bucket is fetched while the rest of the entry runs.
    if (ply > t.seldepth) relaxed_store(t.seldepth, int8_t(ply));
    if (depth >= -1) tt_prefetch(pos);
    PlyRecord& r = t.ply[ply];
    r.alpha = int16_t(alpha);
    r.beta = int16_t(beta);
    r.eval = 0;
    r.inCheck = 0;
    r.node_type = int16_t(node_type);
    r.depth = int16_t(depth);
    r.hashMove = MOVE_NONE;
    r.hash_score = NO_HASH_SCORE;
    r.tb_result = -1;
    r.moves_searched = 0;
    r.captureTarget = NO_SQUARE;
    t.ply[ply + 1].killer1 = t.ply[ply + 1].killer2 = t.ply[ply + 1].checkKiller = MOVE_NONE;
    line[ply] = MOVE_NONE;

    // 7. Mate-distance pruning: no line from here can beat a mate already found nearer the root.
    alpha = std::max(ply - MATE, alpha);
    beta = std::min(MATE - 1 - ply, beta);
    if (alpha >= beta) return alpha;

    // 8. Check: the checker's square restricts the picker's captures to it.
    int checker = least_attacker(pos, pos.kingSq[side], side ^ 1, pos.occupied());
    bool in_check = checker != NO_SQUARE;
    if (in_check) {
        r.captureTarget = uint8_t(checker);
        r.inCheck = 1;
    }

    // 9. Draws by rule. A fifty-move draw still lets a checkmate on the last move count.
    if (pos.fifty >= 100 && (!in_check || has_legal_move(t, side))) return 0;
    if (pos.fifty >= 4 && is_repetition(t, t.root_index)) return 0;

    // 10. The deepest ply: no room for a search.
    if (ply > MAX_PLY - 1) return in_check ? 0 : evaluate(t.eval, pos, side, ply, 0);

    // 11. Transposition table.
    bool have_eval = false, predicts_fail_low = false;
    int eval = 0, table_depth = -128;
    if (depth >= -1) {
        TTData d;
        if (tt_probe(pos, d)) {
            int score = table_score(d.score, d.depth, depth, ply);
            table_depth = d.depth;
            r.hash_depth = int8_t(d.depth);
            r.hashMove = d.move;
            r.hash_score = int16_t(score);
            if (table_cutoff(score, d.bound, alpha, beta, node_type, depth, d.depth))
                return clamp_to_window(score, alpha, beta);
            predicts_fail_low = score <= alpha && d.bound != BOUND_LOWER;
            eval = d.eval;
            have_eval = true;
        }
    }

    // 12. Tablebases: probed after irreversible moves, and below a known result.
    int parent_tb = t.ply[ply - 1].tb_result;
    int tb = -1;
    if (pos.fifty == 0)
        tb = tb_probe_wdl(pos, parent_tb == -1 ? depth : 256);
    else if (parent_tb != -1)
        tb = tb_probe_wdl(pos, 256);
    r.tb_result = tb;
    if (tb != -1) {
        bump(t.tbhits);
        if (parent_tb != -1 && tb > 4 - parent_tb) return beta;  // the parent's move spoilt its result
        if (tb == 4 && beta < TB_WIN_BOUND) return beta;
        if (tb == 0 && alpha >= -(TB_WIN_BOUND - 1)) return alpha;
    }

    // 13. Static evaluation, moved by a known tablebase result.
    if (!have_eval) {
        eval = evaluate(t.eval, pos, side, ply, in_check);
        if (tb == 0)
            eval -= TB_EVAL_SHIFT;
        else if (tb == 4)
            eval += TB_EVAL_SHIFT;
        else if (tb == 2)
            eval /= 4;
    }
    r.eval = int16_t(eval);
    r.improving = eval > t.ply[ply - 2].eval + IMPROVING_MARGIN;

    // 14. The horizon: quiet positions go to the capture search, checks get every reply.
    if (depth <= 0) {
        int result = in_check ? search_moves(t, side, ply, 0, alpha, beta, node_type, line)
                              : qsearch(t, side, ply, depth, alpha, beta, node_type, line);
        return clamp_to_window(result, alpha, beta);
    }

    // 15-18. Shortcuts before the move loop: razoring, static pruning, the null
    // move, internal deepening; all off in check or close to the fifty-move draw.
    NodeFacts facts{depth, eval, alpha, beta, node_type, pos.fifty, table_depth, in_check, has_pieces(pos, side),
                    predicts_fail_low, t.lastMove == MOVE_NONE};
    NodePlan plan = plan_node(facts, [&] { return under_threat(pos, side, eval, beta); });
    switch (plan.action) {
        case NODE_RAZOR:  // far below alpha: only tactics can save the node
            return clamp_to_window(qsearch(t, side, ply, depth, alpha, beta, node_type, line), alpha, beta);
        case NODE_STATIC_CUTOFF:
            return beta;
        case NODE_INTERNAL_DEEPENING:
            search_moves(t, side, ply, depth - IID_REDUCTION, alpha, beta, PV_NODE, line);
            if (search_stopped()) return 0;
            r.hashMove = line[ply];
            break;
        case NODE_NULL_MOVE: {  // if passing still beats beta, the node almost surely does
            Move child[MAX_PLY + 2];
            make_null_move(pos);
            int score = -search_node(t, side ^ 1, ply + 1, depth - null_move_reduction(depth) - 1, -beta, -alpha,
                                     ALL_NODE, child);
            unmake_null_move(pos);
            if (search_stopped()) return 0;
            if (score >= beta) {
                if (!null_move_needs_verification(depth)) return beta;
                int verified = search_moves(t, side, ply, depth - NULL_MOVE_VERIFY_DEPTH, alpha, beta, CUT_NODE, line);
                if (search_stopped()) return 0;
                if (verified >= beta) return clamp_to_window(verified, alpha, beta);
            }
            break;
        }
        case NODE_SEARCH:
            break;
    }
    // 18.4 Without a table move the node is probably not worth its full depth.
    if (plan.reduce && depth > 2 && r.hashMove == MOVE_NONE) depth -= 1;

    // 19-20. The move loop, through the window clamp.
    return clamp_to_window(search_moves(t, side, ply, depth, alpha, beta, node_type, line), alpha, beta);
}

int search_moves(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line) {
    Position& pos = t.pos;
    PlyRecord& r = t.ply[ply];
    const int entry_alpha = alpha;

    // 1. A fresh picker and window; a check extends the replies by a ply.
    line[ply] = MOVE_NONE;
    r.alpha = int16_t(alpha);
    r.beta = int16_t(beta);
    r.moves_searched = 0;
    r.genMode = GEN_FULL_WIDTH;
    r.stage = STAGE_START;
    r.cursor = r.moves;
    const bool in_check = r.inCheck != 0;
    const int extension = depth > 1 && in_check ? 1 : 0;

    int best = -INFINITE_SCORE;
    Move best_move = MOVE_NONE;
    bool hash_seen = false;
    Move child[MAX_PLY + 2];

    // 2. The moves, best-looking first.
    for (MoveEntry* e; (e = next_move(pos));) {
        Move m = e->move;
        // 2.1 The hash move comes first and again with its group.
        if (m == r.hashMove && r.hashMove) {
            if (hash_seen) continue;
            hash_seen = true;
        }
        if (!is_legal(pos, side, m)) continue;

        // 2.2
        int move_class = move_props(pos, side, *e);
        r.move_class = uint16_t(move_class);
        bool tactical = (move_class & 63) != 0;

        // 2.3-2.4 Late-move pruning near the leaves, then the reduction of the move.
        MoveFacts facts{depth, node_type, best, r.moves_searched, e->score, in_check, r.improving != 0, tactical,
                        r.eval > entry_alpha};
        // Pruning and reduction may both ask; the exchange is worked out once.
        int see_state = -1;
        auto see_fails = [&] {
            if (see_state < 0) see_state = see_ok(pos, m) ? 0 : 1;
            return see_state == 1;
        };
        if (prune_late_move(facts, see_fails)) continue;
        int reduction = late_move_reduction(facts, see_fails);

        // 2.5-2.7 Principal variation search: the first move with the full window,
        // the others with a null window first (reduced), re-searched when they beat alpha.
        make_move(pos, m);
        int score;
        if (r.moves_searched == 0 || depth <= 1) {
            score = -search_node(t, side ^ 1, ply + 1, depth + extension - 1, -beta, -alpha, -node_type, child);
        } else {
            score = -search_node(t, side ^ 1, ply + 1, depth - reduction - 1, -alpha - 1, -alpha, CUT_NODE, child);
            if (score > alpha)
                score = -search_node(t, side ^ 1, ply + 1, depth + extension - 1, -beta, -alpha, -node_type, child);
        }
        unmake_move(pos);
        if (search_stopped()) return 0;

        // 2.8-2.9
        r.moves_searched++;
        if (e->captured == 0 && depth > 0) update_quiet_history(t, *e, depth, score >= beta);

        // 2.10
        if (score > best) {
            best = score;
            best_move = m;
            line[ply] = m;
            line[ply + 1] = MOVE_NONE;
            if (score > alpha) {
                if (score >= beta) break;
                if (ply <= MAX_PLY - 1) memcpy(&line[ply + 1], &child[ply + 1], sizeof(Move) * (MAX_PLY - ply));
                alpha = score;
            }
        }
    }

    // 3. No move searched: mate or stalemate.
    if (best_move == MOVE_NONE) best = in_check ? ply - MATE : 0;

    // 4. Remember the result.
    if (depth >= -1) {
        int bound = best <= entry_alpha ? BOUND_UPPER : best < beta ? BOUND_EXACT : BOUND_LOWER;
        tt_store(pos, ply, depth, best_move, r.eval, best, bound);
    }
    return best;
}
