#include "search/output.h"

#include <cstdio>
#include <string>

#include "board/notation.h"
#include "core/io.h"
#include "core/settings.h"
#include "core/clock.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "search/tt.h"

namespace {

float elapsed_now() {
    float elapsed = float(monotonic_seconds() - search_state.start_time + 0.0001);
    search_state.elapsed = elapsed;
    return elapsed;
}

bool silenced() { return options.noise >= 99999; }

std::string line_text(const Move* line, int max_moves, bool reflow) {
    std::string text;
    int side = game.pos.side;
    for (int i = 1; i <= MAX_PLY && i <= max_moves && line[i]; i++, side ^= 1) {
        char move[MOVE_TEXT_SIZE];
        move_text(game.pos, side, line[i], move);
        if (i > 1) text += reflow && (i - 1) % 8 == 0 ? "\n                              " : " ";
        text += move;
    }
    return text;
}

std::string score_text(int score) {
    char text[32];
    if (score > 9899)
        snprintf(text, sizeof text, "mate %d", (10000 - score) / 2);
    else if (score < -9899)
        snprintf(text, sizeof text, "mate -%d", (10000 + score) / 2);
    else
        snprintf(text, sizeof text, "cp %d", score);
    return text;
}

}  // namespace

void emit_info(int thread, int line_index, int depth, int score, const Move* line) {
    float elapsed = elapsed_now();
    sum_counters();
    if (!search_stopped() && options.noise > elapsed) return;
    if (silenced() || depth == 0 || line[1] == MOVE_NONE) return;
    search_state.hashfull = depth > 6 && tt.entries > 2999 ? tt_hashfull() : 0;
    format_info(thread, line_index, depth, score, line);
}

void format_info(int thread, int line_index, int depth, int score, const Move* line) {
    const SearchState& s = search_state;
    float elapsed = s.elapsed.load();
    double nodes = double(s.nodes);
    double nps = elapsed + 0.002 > 0.02 ? nodes / (elapsed + 0.002) : 0;
    char text[4096];
    if (options.uci_mode) {
        char prefix[32] = "";
        if (options.multipv > 1) snprintf(prefix, sizeof prefix, "multipv %d ", line_index);
        snprintf(text, sizeof text,
                 "info %s%sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %.0f pv %s",
                 prefix, "", depth, s.seldepth - 1, score_text(score).c_str(), elapsed * 1000.0, nodes, nps,
                 double(s.tbhits), s.hashfull * 1000.0, line_text(line, MAX_PLY, false).c_str());
        print_line(text);
        return;
    }
    std::string moves = line_text(line, search_stopped() ? 32 : 8, true);
    snprintf(text, sizeof text, "%02d] %02d%c %5.1f %7.0fK %5d  %s", thread, depth, line_index == 0 ? ' ' : '.',
             elapsed, nodes / 1000.0, score, moves.c_str());
    print_line(text);
    if (thread == 0 && line_index == options.multipv) print_line("");
}

void emit_iteration_start(int depth) {
    float elapsed = elapsed_now();
    sum_counters();
    search_state.hashfull = tt_hashfull();
    char text[256];
    snprintf(text, sizeof text, "info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f", depth, elapsed * 1000.0,
             double(search_state.nodes), double(search_state.nodes) / (elapsed + 0.002),
             search_state.hashfull * 1000.0);
    print_line(text);
}
