#include "board/thread_board.h"

#include <cstring>

namespace {

void point_lists(ThreadBoard& tb) {
    tb.pos.owner = &tb;
    for (int i = 0; i < PLY_CAP; i++) {
        tb.ply[i].moves = tb.ply[i].cursor = tb.ply[i].listEnd = tb.lists[i];
        tb.lists[i][0].move = MOVE_END;
    }
}

}  // namespace

void reset_ordering(OrderingTables& order) {
    for (uint16_t& h : order.history) h = 4096;
    memset(order.counter1, 0, sizeof order.counter1);
    memset(order.counter2, 0, sizeof order.counter2);
    memset(order.followup, 0, sizeof order.followup);
}

void clear_killers(ThreadBoard& tb) {
    for (PlyRecord& p : tb.ply) p.killer1 = p.killer2 = p.checkKiller = MOVE_NONE;
}

void init_thread_board(ThreadBoard& tb) {
    memset(static_cast<void*>(&tb), 0, sizeof(ThreadBoard));
    Position& pos = tb.pos;
    pos.kingSq[WHITE] = pos.kingSq[BLACK] = NO_SQUARE;
    pos.epSquare = NO_SQUARE;
    for (uint8_t& rook : pos.castleRook) rook = NO_SQUARE;
    tb.plyIndex = 1;
    point_lists(tb);
    reset_ordering(tb.order);
}

void copy_game(ThreadBoard& to, const ThreadBoard& from) {
    to.pos = from.pos;
    int records = from.histIndex + 2 < HISTORY_CAP ? from.histIndex + 2 : HISTORY_CAP;
    memcpy(to.history, from.history, size_t(records) * sizeof(HistoryEntry));
    to.histIndex = from.histIndex;
    to.lastMove = from.lastMove;
    to.plyIndex = 1;
    point_lists(to);
}
