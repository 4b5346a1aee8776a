// The tablebase probes the search calls. Results are from the side to move's
// view: 0 loss, 1 blessed loss, 2 draw, 3 cursed win, 4 win; -1 = no result.
#pragma once
#include "board/position.h"

// depth: the remaining depth of the probing node (tables of the largest size
// are probed only deep enough in the tree), 256 when the result is needed anyway.
int tb_probe_wdl(const Position& pos, int depth);
// Pieces of the largest tables found (0 when none).
int tb_largest();
