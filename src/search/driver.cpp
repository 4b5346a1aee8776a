#include "search/driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "board/move.h"
#include "board/movegen.h"
#include "board/movepick.h"
#include "board/see.h"
#include "core/clock.h"
#include "core/io.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/history.h"
#include "search/output.h"
#include "search/search.h"
#include "search/selectivity.h"
#include "search/strength.h"
#include "search/tb_root.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "search/tunables.h"

namespace {

using namespace tune;

constexpr int16_t UNSEARCHED = -INFINITE_SCORE;
constexpr int MAX_GAME_PLIES = 883;  // history room left for the deepest line

uint32_t next_seed(uint32_t seed) { return seed * 1664525u + 1013904223u; }

bool is_main(const SearchThread& t) { return t.index == 0; }

// The main thread's result, whenever its best score improves at its depth.
void publish_best(SearchThread& t) {
    SearchState& s = search_state;
    int depth = t.iteration_depth;
    if (depth < s.best_depth) return;
    if (t.best_line[1] != s.best_line[1]) relaxed_store(s.best_change_depth, int8_t(depth));
    relaxed_store(s.best_depth, int8_t(depth));
    relaxed_store(s.best_score, t.best_score);
    for (int i = 1; i <= MAX_PLY; i++) relaxed_store(s.best_line[i], t.best_line[i]);
    relaxed_store(s.score_by_depth[depth], t.best_score);
    relaxed_store(s.move_by_depth[depth], t.best_line[1]);
    if (depth >= 2 && options.multipv == 1) emit_info(0, 0, depth, t.best_score, t.best_line);
}

// First order of the root: good captures, then quiet moves and losing captures.
int16_t root_order_score(SearchThread& t, const MoveEntry& e) {
    const Position& pos = t.pos;
    const PlyRecord& root = t.ply[1];
    Move m = e.move;
    if (m == root.hashMove) return HASH_MOVE_SCORE;
    if (e.captured) {
        int victim = piece_type(e.captured);
        if (see_move(pos, pos.side, move_from(m), move_to(m)) >= -49) return int16_t(MVV_SCORE[victim] - piece_type(e.piece));
        return LOSING_CAPTURE_SCORE[victim];
    }
    int score = (t.order.history[e.piece * 64 + move_to(m)] * 70) >> 16;
    if (m == root.killer1) score += 70;
    else if (m == root.killer2) score += 60;
    return int16_t(score);
}

// "go searchmoves": the listed moves alone stay at the root, unless none of
// them is legal here (then the search takes every move, as without the list).
void keep_allowed_root_moves(SearchThread& t) {
    const SearchState& s = search_state;
    const uint16_t* allowed_end = s.root_filter + s.root_filter_count;
    int kept = 0;
    for (int k = 0; k < t.root_count; k++)
        if (std::find(s.root_filter, allowed_end, t.root_moves[k].move) != allowed_end)
            t.root_moves[kept++] = t.root_moves[k];
    if (kept == 0) return;
    t.root_count = kept;
    t.root_moves[kept].move = MOVE_END;
}

void build_root_moves(SearchThread& t) {
    Position& pos = t.pos;
    t.plyIndex = 1;
    gen_all(pos);
    t.root_count = 0;
    for (const MoveEntry* e = t.ply[1].moves; e->move != MOVE_END; e++) {
        if (!is_legal(pos, pos.side, e->move)) continue;
        MoveEntry& root = t.root_moves[t.root_count++];
        root = *e;
        root.score = root_order_score(t, root);
    }
    t.root_moves[t.root_count].move = MOVE_END;
    keep_allowed_root_moves(t);
}

// Brings the highest-scored entry of [from, count) to from; the first of equal scores wins.
void select_root(SearchThread& t, int from) {
    int best = from;
    for (int k = from + 1; k < t.root_count; k++)
        if (t.root_moves[k].score > t.root_moves[best].score) best = k;
    std::swap(t.root_moves[from], t.root_moves[best]);
}

bool has_pawns_and_pieces(const Position& pos) {
    uint32_t m = pos.material[pos.side];
    return (m & 0xF) && (m & ~0xFu);
}

// One aspiration try of MultiPV line `first`: the root moves from that entry on.
int search_root(SearchThread& t, int first, int depth, int alpha, int beta, int& last_searched) {
    Position& pos = t.pos;
    int side = pos.side;
    PlyRecord& root = t.ply[1];
    int start_alpha = alpha, best = -INFINITE_SCORE, searched = 0;
    Move child[MAX_PLY + 2];
    last_searched = first - 1;
    for (int k = first; k < t.root_count; k++) {
        select_root(t, k);
        MoveEntry& e = t.root_moves[k];
        if (e.move == MOVE_NONE) continue;
        if (is_main(t) && first == 0 && searched == 0 && options.uci_mode) {
            float elapsed = float(monotonic_seconds() - search_state.start_time);
            if (elapsed > 3.5f && elapsed > options.noise) emit_iteration_start(depth);
        }
        e.score = int16_t(alpha - 1 - searched);
        int move_class = move_props(pos, side, e);
        int reduction = (move_class & 63) == 0 && depth > 6 && searched >= 3 && has_pawns_and_pieces(pos) ? 1 : 0;

        root.cursor = &e;  // the children read the move that led to them here
        root.move_class = uint16_t(move_class);
        make_move(pos, e.move);
        int score;
        if (searched == 0 || depth == 1) {
            score = -search_node(t, side ^ 1, 2, depth - 1, -beta, -alpha, PV_NODE, child);
        } else {
            score = -search_node(t, side ^ 1, 2, depth - reduction - 1, -alpha - 1, -alpha, CUT_NODE, child);
            if (score > alpha) score = -search_node(t, side ^ 1, 2, depth - 1, -beta, -alpha, PV_NODE, child);
        }
        if (score > alpha && !search_stopped()) e.score = int16_t(score);
        unmake_move(pos);
        last_searched = k;
        searched++;
        if (search_stopped()) break;

        if (score > best) {
            best = score;
            relaxed_store(t.best_score, int16_t(score));
            relaxed_store(t.best_move, e.move);
            relaxed_store(t.iteration_depth, int8_t(depth));
            t.best_line[1] = e.move;
            for (int i = 2; i <= MAX_PLY; i++) t.best_line[i] = child[i];
            if (is_main(t) && first == 0) publish_best(t);
            alpha = std::max(alpha, score);
        }
        if (best >= beta) {
            relaxed_store(t.root_fail, uint8_t(2));
            break;
        }
        relaxed_store(t.root_fail, uint8_t(best <= start_alpha ? 1 : 0));
    }
    return best;
}

// After a try the searched moves are sorted by their new scores; the moves a
// cut-off left unsearched go behind them.
void resort_root(SearchThread& t, int first, int last_searched) {
    for (int k = first; k < t.root_count; k++) {
        if (k <= last_searched)
            select_root(t, k);
        else
            t.root_moves[k].score = UNSEARCHED;
    }
}

// Helper threads search their own depth and order, so that they fill the
// table with what the main thread will need next rather than copy it.
int helper_depth(SearchThread& t, int depth) {
    return rules::helper_depth(t.index, depth, search_state.main_depth.load(std::memory_order_relaxed), options.multipv,
                               std::min<int>(options.depth_limit, MAX_PLY));
}

void perturb_root(SearchThread& t) {
    if (t.root_count <= 1) return;
    for (int k = 1; k < t.root_count; k++) {
        t.seed = next_seed(t.seed);
        t.root_moves[k].score = int16_t(t.root_moves[k].score - int(t.seed & 15));
    }
}

void search_line(SearchThread& t, int line, int depth) {
    SearchState& s = search_state;
    int p = t.best_score;
    int delta = rules::aspiration_delta(p, depth, s.target_nps);
    int alpha = depth <= 1 ? -INFINITE_SCORE : p - delta;
    int beta = depth <= 1 ? INFINITE_SCORE : p + delta;
    int best = -INFINITE_SCORE;
    for (int attempt = 0; attempt < ASPIRATION_TRIES; attempt++) {
        alpha = std::max(alpha, -INFINITE_SCORE);
        beta = std::min(beta, INFINITE_SCORE);
        PlyRecord& root = t.ply[1];
        root.alpha = int16_t(alpha);
        root.beta = int16_t(beta);
        int last_searched;
        best = search_root(t, line, depth, alpha, beta, last_searched);
        resort_root(t, line, last_searched);
        if (alpha < best && best < beta) break;
        if (search_stopped()) break;
        rules::widen_window(alpha, beta, delta, best);
    }
    if (is_main(t) && options.multipv > 1 && !search_stopped()) {
        emit_info(0, line + 1, depth, best, t.best_line);
        s.multipv_move[line] = t.root_moves[line].move;
        s.multipv_score[line] = int16_t(best);
    }
}

}  // namespace

void search_prepare() {
    SearchState& s = search_state;
    s.start_time = monotonic_seconds();
    s.elapsed = 0;
    build_selectivity();
    setup_throttle();

    s.stop_flag.store(0);
    s.main_depth.store(0);
    s.best_depth = 0;
    s.single_reply = 0;
    for (uint64_t* total : search_totals(s)) *total = 0;
    memset(s.multipv_move, 0, sizeof s.multipv_move);
    memset(s.multipv_score, 0, sizeof s.multipv_score);
    memset(s.best_line, 0, sizeof s.best_line);
    memset(s.nodes_by_depth, 0, sizeof s.nodes_by_depth);
    for (int d = 0; d <= MAX_PLY; d++) s.score_by_depth[d] = -INFINITE_SCORE, s.move_by_depth[d] = MOVE_NONE;
    eval_context.root_side = game.pos.side;
    eval_context.analysis = (s.search_flags.load() & FLAG_ANALYSE) != 0;
    eval_context.game_plies = game.histIndex;
    game.plyIndex = 1;

    tt_new_search();
    if (options.hash_mb < 1) s.table_enabled = 0;
    options.min_nodes = std::min(options.min_nodes, options.node_limit);

    uint32_t seed = search_threads[0] ? search_threads[0]->seed : s.seed;
    seed = next_seed(seed);
    if (search_threads[0]) search_threads[0]->seed = seed;
    s.seed = seed;
    eval_context.noise_seed = int32_t(seed);

    if (options.limit_mode == 1) s.clock[game.pos.side] = options.time_per_move;
    for (SearchThread* t : search_threads)
        if (t) clear_counters(*t);
    update_clock();

    if (options.noise < 99999 && (!options.uci_mode || options.log)) {
        char fen[128];
        write_fen(game.pos, fen, 0);
        print_fmt("info string fen %s", fen);
        print_fmt("info string clock= %0.2f, target_time= %0.3f", s.clock[game.pos.side], s.target_time.load());
    }
}

void search_thread_main(int index) {
    SearchThread* record = thread_record(index);
    if (!record) return;
    SearchThread& t = *record;
    SearchState& s = search_state;
    Position& pos = t.pos;
    int side = pos.side;
    s.elapsed = float(monotonic_seconds() - s.start_time);

    // 2-3. Fresh ordering knowledge; the root record and its static evaluation.
    reset_ordering(t.order);
    clear_killers(t);
    for (PlyRecord& r : t.ply) r.hashMove = MOVE_NONE;
    PlyRecord& root = t.ply[1];
    root.alpha = -INFINITE_SCORE;
    root.beta = INFINITE_SCORE;
    root.moves_searched = 0;
    int checker = least_attacker(pos, pos.kingSq[side], side ^ 1, pos.occupied());
    root.captureTarget = uint8_t(checker);
    root.inCheck = checker != NO_SQUARE;
    root.tb_result = -1;
    int eval = evaluate(t.eval, pos, side, 1, root.inCheck);
    root.eval = int16_t(eval);
    t.ply[0].eval = int16_t(-eval);  // so that the improving test at ply 2 has a reference
    t.ply[0].tb_result = -1;
    relaxed_store(t.best_score, int16_t(eval));
    build_root_moves(t);

    // 4. The main thread settles the trivial roots: no move, or a depth-0 request.
    if (is_main(t)) {
        relaxed_store(s.best_score, int16_t(eval));
        s.root_static_eval = int16_t(eval);
        relaxed_store(s.root_tb_result, -1);
        if (t.root_count == 0) {
            relaxed_store(t.iteration_depth, int8_t(1));
            relaxed_store(t.best_score, root.inCheck ? int16_t(-9999) : int16_t(0));
            t.best_line[1] = MOVE_NONE;
            publish_best(t);
            stop_search();
            return;
        }
        if (!root.inCheck) {
            Move line[MAX_PLY + 2] = {};
            int score = qsearch(t, side, 1, 0, -INFINITE_SCORE, INFINITE_SCORE, PV_NODE, line);
            s.root_qscore = int16_t(score);
            if (options.depth_limit < 1) {
                for (int i = 1; i <= MAX_PLY; i++) s.best_line[i] = line[i];
                relaxed_store(s.best_score, int16_t(score));
                stop_search();
            }
        } else if (options.depth_limit < 1) {
            stop_search();
        }
    }
    if (search_stopped()) return;

    // 6-7. The root moves and, for the main thread, the tablebase root.
    if (is_main(t)) {
        s.single_reply = t.root_count == 1;
        Move move;
        int score;
        if (tb_root(t, move, score)) {  // the tables' move is the answer
            t.best_line[1] = move;
            t.best_line[2] = MOVE_NONE;
            relaxed_store(t.best_move, move);
            relaxed_store(t.best_score, int16_t(score));
            relaxed_store(t.iteration_depth, int8_t(99));
            relaxed_store(t.seldepth, int8_t(99));
            publish_best(t);
            stop_search();
            return;
        }
    }

    // 8. Iterative deepening.
    for (int depth = 1; depth <= MAX_PLY; depth++) {
        if (!is_main(t)) {
            depth = helper_depth(t, depth);
            perturb_root(t);
        } else {
            s.main_depth.store(int8_t(depth), std::memory_order_relaxed);
        }
        relaxed_store(t.iteration_depth, int8_t(depth));

        for (int line = 0; line < options.multipv && line < t.root_count; line++) {
            search_line(t, line, depth);
            if (search_stopped()) break;
        }

        if (is_main(t)) {
            std::lock_guard guard(search_lock);
            s.nodes_by_depth[depth] += t.nodes;
        }
        int best = t.best_score;
        bool wanted_mate = s.mate_moves > 0 && best >= MATE - 2 * s.mate_moves;
        if (search_stopped() || quit_requested() || best >= 9999 - depth || best < depth - 9999 || wanted_mate ||
            depth >= options.depth_limit || t.histIndex + depth > MAX_GAME_PLIES)
            break;
    }
    if (is_main(t)) stop_search();
}
