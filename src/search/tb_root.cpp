#include "search/tb_root.h"

#include <cstdio>

#include "board/move.h"
#include "core/io.h"
#include "core/settings.h"
#include "core/relaxed.h"
#include "search/tunables.h"
#include "tablebase/tb_probe.h"

using namespace tune;

bool tb_root(SearchThread& t, Move& move, int& score) {
    SearchState& s = search_state;
    Position& pos = t.pos;
    int result = tb_probe_wdl(pos, 80);
    relaxed_store(s.root_tb_result, result);
    if (result == -1) return false;

    // Moves that give the result away leave the search, unless that would
    // leave nothing: a blessed loss whose every move the tables (counting from
    // a fresh fifty-move counter) call a plain loss.
    int child[LIST_CAP], kept = 0;
    for (int k = 0; k < t.root_count; k++) {
        make_move(pos, t.root_moves[k].move);
        child[k] = tb_probe_wdl(pos, 80);
        unmake_move(pos);
        kept += child[k] == -1 || 4 - child[k] >= result;
    }
    char text[600];
    int length = snprintf(text, sizeof text, "info string TB result is %s with moves: ",
                          result == 4 ? "WIN" : result == 0 ? "LOSS" : "DRAW");
    for (int k = 0; k < t.root_count; k++) {
        MoveEntry& e = t.root_moves[k];
        if (kept && child[k] != -1 && 4 - child[k] < result) {
            e.move = MOVE_NONE;
            e.score = -INFINITE_SCORE;
        } else if (length < 480) {
            length += snprintf(text + length, sizeof text - size_t(length), "%c%d%c%d ", 'a' + file_of(move_from(e.move)),
                               rank_of(move_from(e.move)) + 1, 'a' + file_of(move_to(e.move)), rank_of(move_to(e.move)) + 1);
        }
    }
    if (options.noise < 99999) print_line(text);

    int cls;
    if (!tb_root_move(pos, move, cls)) return false;
    score = cls == 4 ? TB_ROOT_WIN : cls == 0 ? -TB_ROOT_WIN : 0;
    return true;
}
