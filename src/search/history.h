// Move-ordering knowledge the search accumulates per thread: the quiet-move
// history, killers, counter moves and follow-up moves.
#pragma once
#include "board/thread_board.h"

// After a quiet move was searched at a node of depth > 0 (ply = tb.plyIndex).
void update_quiet_history(ThreadBoard& tb, const MoveEntry& entry, int depth, bool reached_beta);
