#include "tablebase/tb_probe.h"

#include <climits>

#include "board/movegen.h"
#include "core/settings.h"
#include "tablebase/tb_decode.h"
#include "tablebase/tb_index.h"

namespace {

bool is_pawn_move(const TbPosition& pos, TbMove m) { return pos.pawns & square_bb(tb_move_from(m)); }
bool is_zeroing(const TbPosition& pos, TbMove m) { return is_pawn_move(pos, m) || tb_is_capture(pos, m); }

// A stored distance in plies: through the map of the result's class, doubled
// where the table stores moves; -1 when the symbol is outside the map.
int dtz_plies(const TbSubTable& sub, int wdl, int value) {
    constexpr int CLASS_OF[5] = {1, 3, 0, 2, 0};  // by WDL + 2: loss, blessed loss, -, cursed win, win
    if (wdl == 0) return 0;
    if (sub.flags & 0x02) value = tb_map_value(sub, CLASS_OF[wdl + 2], value);
    if (value < 0) return -1;
    bool in_plies = (wdl == 2 && (sub.flags & 0x04)) || (wdl == -2 && (sub.flags & 0x08));
    return in_plies ? value : 2 * value;
}

// Is there a legal move other than an en-passant capture.
bool has_ordinary_move(const TbPosition& pos) {
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, moves);
    TbPosition after;
    for (TbMove* m = moves; m < end; m++)
        if (!tb_is_en_passant(pos, *m) && tb_do_move(after, pos, *m)) return true;
    return false;
}

// DTZ by one ply of search over the moves that do not zero the counter, for
// positions whose table stores only the other side to move.
int dtz_by_search(const TbPosition& pos, int wdl, int& success) {
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, moves);
    TbPosition after;
    int best = wdl > 0 ? INT_MAX : WDL_TO_DTZ[wdl + 2];
    for (TbMove* m = moves; m < end; m++) {
        if (is_zeroing(pos, *m) || !tb_do_move(after, pos, *m)) continue;
        int v = -tb_probe_dtz(after, success);
        if (!success) return 0;
        if (v == 1 && tb_is_mate(after))
            best = 1;
        else if (wdl > 0 && v > 0 && v + 1 < best)
            best = v + 1;
        else if (wdl < 0 && v - 1 < best)
            best = v - 1;
    }
    success = best == INT_MAX ? 0 : 1;
    return success ? best : 0;
}

// Value of a root move from the mover's view in plies to the next zeroing
// move: positive when it wins, 0 when it draws.
int root_move_value(const TbPosition& after, int root_dtz, int& success) {
    if (root_dtz > 0 && tb_is_mate(after)) return 1;
    if (after.rule50 == 0) return WDL_TO_DTZ[2 - tb_probe_wdl_full(after, success)];
    int d = tb_probe_dtz(after, success);
    return d < 0 ? -d + 1 : d > 0 ? -d - 1 : 0;
}

Move engine_move(TbMove m) {
    constexpr Move FLAGS[5] = {0, PROMO_QUEEN, PROMO_ROOK, PROMO_BISHOP, PROMO_KNIGHT};
    return make_move_code(tb_move_from(m), tb_move_to(m), FLAGS[tb_move_promote(m)]);
}

}  // namespace

int tb_probe_table(const TbPosition& pos, int wdl, int& success, int kind) {
    uint64_t key = tb_material_key(pos, false);
    if (key == 0) return 0;  // the two kings alone: a draw, with or without a file
    TbEntry* entry = tb_find_entry(key);
    const TbTable* table = entry && kind != TB_DTM && (kind == TB_WDL || entry->dtzPresent) ? tb_table(*entry, kind) : nullptr;
    if (!table) {
        success = 0;
        return 0;
    }
    // Into the file's colours: a symmetric material is always read with the
    // file's white to move; otherwise by which side holds the named material.
    bool flip = entry->sameBothSides ? !pos.turn : key != entry->matKey;
    int side = (pos.turn ? 0 : 1) ^ int(flip);
    uint64_t index;
    const TbSubTable* sub = tb_locate(*table, pos, flip, side, index);
    if (!sub) {
        success = 0;
        return 0;
    }
    if (kind == TB_DTZ && (sub->flags & 1) != side) {
        success = -1;
        return 0;
    }
    int value = tb_decode_value(*sub, index);
    if (value >= 0 && kind == TB_DTZ) value = dtz_plies(*sub, wdl, value);
    if (value < 0 || (kind == TB_WDL && value > 4)) {
        tb_report_corrupted(*entry, kind);
        success = 0;
        return 0;
    }
    return kind == TB_WDL ? value - 2 : value;
}

int tb_probe_ab(const TbPosition& pos, int alpha, int beta, int& success) {
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = tb_gen_captures(pos, moves);
    TbPosition after;
    uint64_t them = pos.turn ? pos.black : pos.white;
    for (TbMove* m = moves; m < end; m++) {
        if (!(them & square_bb(tb_move_to(*m))) || !tb_do_move(after, pos, *m)) continue;
        int v = -tb_probe_ab(after, -beta, -alpha, success);
        if (!success) return 0;
        if (v > alpha) {
            if (v >= beta) return v;
            alpha = v;
        }
    }
    int v = tb_probe_table(pos, 0, success, TB_WDL);
    return alpha > v ? alpha : v;
}

int tb_probe_wdl_full(const TbPosition& pos, int& success) {
    success = 1;
    TbMove moves[TB_MAX_MOVES];
    TbMove* end = tb_gen_captures(pos, moves);
    if (end == moves) return tb_probe_table(pos, 0, success, TB_WDL);

    // The tables may store less than a capture achieves, and know nothing of en passant.
    int best_capture = -3, best_ep = -3;
    TbPosition after;
    for (TbMove* m = moves; m < end; m++) {
        if (!tb_do_move(after, pos, *m)) continue;
        int v = -tb_probe_ab(after, -2, -best_capture, success);
        if (!success) return 0;
        if (v <= best_capture) continue;
        if (v == 2) {
            success = 2;
            return 2;
        }
        if (tb_is_en_passant(pos, *m))
            best_ep = v > best_ep ? v : best_ep;
        else
            best_capture = v;
    }
    int v = tb_probe_table(pos, 0, success, TB_WDL);
    if (!success) return 0;
    bool en_passant = best_ep > -3;
    if (best_ep > best_capture) {
        if (best_ep > v) {
            success = 2;
            return best_ep;
        }
        best_capture = best_ep;
    }
    if (best_capture >= v) {
        success = best_capture > 0 ? 2 : 1;
        return best_capture;
    }
    if (!en_passant || v != 0) return v;
    // The table's draw may be a stalemate that the en-passant capture avoids.
    if (has_ordinary_move(pos) || tb_in_check(pos)) return v;
    success = 2;
    return best_ep;
}

int tb_probe_dtz(const TbPosition& pos, int& success) {
    int wdl = tb_probe_wdl_full(pos, success);
    if (!success || wdl == 0) return 0;
    if (success == 2) return WDL_TO_DTZ[wdl + 2];
    if (wdl > 0) {
        // A pawn push that keeps the win zeroes at once.
        TbMove moves[TB_MAX_MOVES];
        TbMove* end = tb_gen_moves(pos, moves);
        TbPosition after;
        for (TbMove* m = moves; m < end; m++) {
            if (!is_pawn_move(pos, *m) || tb_is_capture(pos, *m) || !tb_do_move(after, pos, *m)) continue;
            int v = -tb_probe_wdl_full(after, success);
            if (!success) return 0;
            if (v == wdl) {
                success = 1;
                return WDL_TO_DTZ[wdl + 2];
            }
        }
    }
    success = 1;
    int dtz = tb_probe_table(pos, wdl, success, TB_DTZ);
    if (success == -1) return dtz_by_search(pos, wdl, success);
    if (!success) return 0;
    return wdl > 0 ? WDL_TO_DTZ[wdl + 2] + dtz : WDL_TO_DTZ[wdl + 2] - dtz;
}

int tb_probe_wdl(const Position& pos, int depth) {
    if (pos.castleRights) return -1;
    int men = popcount(pos.occupied());
    if (men > tb_max_men()) return -1;
    if (men >= 6 && depth < options.syzygy_probe_depth) return -1;
    if (men == 7 && depth < options.syzygy_probe_depth7) return -1;
    int success;
    int wdl = tb_probe_wdl_full(tb_position_from(pos, 0), success);
    return success ? wdl + 2 : -1;
}

bool tb_root_move(const Position& root, Move& move, int& result) {
    if (root.fifty < 10 || root.castleRights || popcount(root.occupied()) > tb_max_men()) return false;
    TbPosition pos = tb_position_from(root, root.fifty);
    int success;
    int dtz = tb_probe_dtz(pos, success);
    if (!success) return false;

    TbMove moves[TB_MAX_MOVES];
    int values[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, moves);
    int count = 0, draws = 0;
    TbPosition after;
    for (TbMove* m = moves; m < end; m++) {
        if (!tb_do_move(after, pos, *m)) continue;
        int v = root_move_value(after, dtz, success);
        if (!success) return false;
        moves[count] = *m;
        values[count++] = v;
        draws += v == 0;
    }

    // Win: the quickest zeroing; draw: one drawing move, the same for the
    // same material and side every time; loss: the longest resistance.
    int chosen = -1;
    if (dtz > 0) {
        for (int i = 0; i < count; i++)
            if (values[i] > 0 && (chosen < 0 || values[i] < values[chosen])) chosen = i;
        result = root.fifty + dtz <= 100 ? 4 : 3;
    } else if (dtz == 0) {
        if (draws == 0) return false;
        uint64_t k = tb_material_key(pos, root.side == BLACK) % uint64_t(draws);
        for (int i = 0; i < count && chosen < 0; i++)
            if (values[i] == 0 && k-- == 0) chosen = i;
        result = 2;
    } else {
        for (int i = 0; i < count; i++)
            if (chosen < 0 || values[i] < values[chosen]) chosen = i;
        result = root.fifty - dtz > 100 ? 1 : 0;
    }
    if (chosen < 0) return false;
    move = engine_move(moves[chosen]);
    return is_legal(root, root.side, move) != 0;
}
