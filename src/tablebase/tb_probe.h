// The tablebase probes: the raw table lookup, WDL with captures and en passant
// resolved, DTZ, the search's WDL probe and the DTZ move of a root.
// WDL values: -2 loss, -1 blessed loss, 0 draw, 1 cursed win, 2 win, for the
// side to move. success after a probe: 0 failed (no table, damaged table),
// 1 read from the tables, 2 decided by a zeroing capture (or en passant).
#pragma once
#include "board/position.h"
#include "tablebase/registry.h"
#include "tablebase/tb_moves.h"

// DTZ of a position whose best move zeroes the counter, by WDL + 2.
constexpr int WDL_TO_DTZ[5] = {-1, -101, 0, 101, 1};

// One table read (kind TB_WDL or TB_DTZ; wdl: the position's value, for DTZ).
// A DTZ table that stores only the other side to move sets success to -1.
int tb_probe_table(const TbPosition& pos, int wdl, int& success, int kind);
// WDL with captures searched inside (alpha, beta); the position has no en-passant square.
int tb_probe_ab(const TbPosition& pos, int alpha, int beta, int& success);
// Exact WDL of any position.
int tb_probe_wdl_full(const TbPosition& pos, int& success);
// Signed plies to the next zeroing move under best play (mate counts as one).
int tb_probe_dtz(const TbPosition& pos, int& success);

// For the search: -1 without an answer, else WDL + 2 (0 loss ... 4 win).
// depth: the node's remaining depth; six- and seven-man positions are probed
// only from SyzygyProbeDepth6 and the seven-man depth on (80 passes both).
int tb_probe_wdl(const Position& pos, int depth);
// The move the DTZ tables prescribe at a root whose fifty-move counter has
// reached 10: true with the move and its result class (0 loss .. 4 win).
bool tb_root_move(const Position& pos, Move& move, int& result);
