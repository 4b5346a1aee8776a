#include "search/timeman.h"

#include <cmath>

#include "core/clock.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"

namespace {

// The part of the remaining time the search may take beyond the base share.
float instability(const SearchThread& main, int depth) {
    const SearchState& s = search_state;
    int score = relaxed_load(s.best_score);
    int margin = std::abs(score) < 336 ? 20 : std::abs(score) / 16;
    float extra = 0;
    uint8_t fail = relaxed_load(main.root_fail);
    if (fail == 1)
        extra += 0.2f;  // failing low: the best move is in trouble
    else if (fail == 2)
        extra += 0.04f;
    else if (depth >= 4 && score <= relaxed_load(s.score_by_depth[depth - 1]) - margin &&
             score <= relaxed_load(s.score_by_depth[depth - 2]) - margin)
        extra += 0.04f;  // the score is sinking
    if (depth > 4 && relaxed_load(s.best_change_depth) >= depth - 2) extra += 0.01f;  // the best move just changed
    for (int i = 1; i < options.threads && i < MAX_THREADS; i++) {
        const SearchThread* helper = thread_record(i);
        if (helper && relaxed_load(helper->iteration_depth) >= relaxed_load(s.best_depth) &&
            relaxed_load(helper->best_move) != relaxed_load(s.best_line[1]) &&
            relaxed_load(helper->best_score) >= score + margin) {
            extra += 0.02f;  // a helper thread prefers another move
            break;
        }
    }
    return extra;
}

}  // namespace

void update_clock() {
    SearchState& s = search_state;
    float elapsed = float(monotonic_seconds() - s.start_time + 0.0001);
    s.elapsed = elapsed;
    float clock = s.clock[game.pos.side];
    float inc = options.increment;
    float inc_share = inc > 0 ? inc * clock / (clock + 2 * inc) : 0;
    uint16_t flags = s.search_flags.load(std::memory_order_relaxed);
    bool limited = flags & (FLAG_SEARCH | FLAG_ANALYSE);
    int depth = s.main_depth.load(std::memory_order_relaxed);

    if (options.limit_mode == 1) {
        s.moves_to_go = 1;
        s.target_time = options.time_per_move;
        if (limited && depth >= 2 && elapsed >= options.time_per_move + inc_share) stop_search();
        return;
    }

    float share;
    if (options.limit_mode > 1 && !options.uci_mode) {
        int n = options.limit_mode, h = game.histIndex;
        int left = n * (h / (2 * n) + 1) - h / 2;  // moves left in this period
        s.moves_to_go = uint16_t(left);
        share = 1.0f / float(left + 1);
    } else if (options.limit_mode > 1) {
        share = 1.0f / float(s.moves_to_go + 1);
    } else {
        s.moves_to_go = 28;
        share = 1.0f / 29.0f;
    }
    float remaining = clock - elapsed > 0 ? clock - elapsed : 0;
    if (options.ponder) share *= 1.25f;  // pondering saves time on the moves we predict
    s.target_time = share * remaining + inc_share;

    const SearchThread* main = thread_record(0);
    if (!main || !limited || depth < 2) return;
    share += instability(*main, depth);
    float target = share * remaining + inc_share - float(options.move_overhead) / 1000.0f;
    if (target < 0.005f) target = 0.005f;
    if (relaxed_load(s.root_tb_result) != -1) target *= 0.5f;
    s.target_time = target;
    if (elapsed >= target || (s.single_reply && depth > 5)) stop_search();
}
