// Draws by rule: the fifty-move rule and repetitions along the history.
#pragma once
#include "board/thread_board.h"

// Walks back over the positions with the same side to move. A position
// repeated at or after root_index (inside the search) counts at once; before
// it, the repetition must have happened twice (threefold).
bool is_repetition(const ThreadBoard& tb, int root_index);

// The game's draw test: fifty moves, or a threefold repetition.
inline bool is_draw_by_rule(const ThreadBoard& tb) {
    if (tb.pos.fifty < 4) return false;
    if (tb.pos.fifty >= 100) return true;
    return is_repetition(tb, tb.histIndex + 1);
}
