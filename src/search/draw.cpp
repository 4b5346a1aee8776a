#include "search/draw.h"

bool is_repetition(const ThreadBoard& tb, int root_index) {
    const Position& pos = tb.pos;
    // Positions before the last capture, pawn move or castling cannot come back.
    int oldest = tb.histIndex - pos.fifty;
    int earlier = 0;
    for (int j = tb.histIndex - 2; j >= 0 && j >= oldest; j -= 2) {
        const HistoryEntry& h = tb.history[j];
        if (h.move == MOVE_NONE) break;  // a null move was made from here: another line
        if (h.key != pos.key) continue;
        if (j >= root_index || ++earlier >= 2) return true;
    }
    return false;
}
