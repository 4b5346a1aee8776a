#include "search/history.h"

void update_quiet_history(ThreadBoard& tb, const MoveEntry& entry, int depth, bool reached_beta) {
    OrderingTables& o = tb.order;
    int weight = (depth < 8 ? depth : 8) + 1;
    uint16_t& h = o.history[entry.piece * 64 + move_to(entry.move)];
    if (!reached_beta) {
        h = uint16_t(h - h * weight / 512);
        return;
    }
    h = uint16_t(h + (65536 - h) * weight / 256);

    int ply = tb.plyIndex;
    PlyRecord& r = tb.ply[ply];
    Move m = entry.move;
    if (r.inCheck)
        r.checkKiller = m;
    else if (m != r.killer1)
        r.killer2 = r.killer1, r.killer1 = m;
    // The opponent's move that this one refuted, and our own move before it;
    // neither exists after a null move.
    if (tb.lastMove != MOVE_NONE) {
        const MoveEntry* prev = tb.ply[ply - 1].cursor;
        int index = prev->piece * 64 + move_to(prev->move);
        if (o.counter1[index] != m) o.counter2[index] = o.counter1[index], o.counter1[index] = m;
    }
    if (ply >= 3 && tb.histIndex >= 2 && tb.history[tb.histIndex - 2].move != MOVE_NONE) {
        const MoveEntry* before = tb.ply[ply - 2].cursor;
        o.followup[before->piece * 64 + move_to(before->move)] = m;
    }
}
