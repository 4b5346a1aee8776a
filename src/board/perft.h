// Perft through the staged picker, the legality test and make/unmake exactly
// as the search uses them, and the text board for the console.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "board/thread_board.h"

// Adds to tb.nodes the number of legal move sequences of length depth (>= 1)
// from tb's position; c is the side to move and ply the ply record to use,
// which must be tb.plyIndex.
void perft(ThreadBoard& tb, int c, int ply, int depth);

// Counts every legal root move's subtree, printing "move: count" lines and
// then "Nodes searched: N"; returns N. Resets the ordering tables and killers
// first so that every run hands out moves in the same order.
uint64_t perft_divide(ThreadBoard& tb, int depth);

// Writes the FEN with counters, eight board lines and the side to move, then an empty line.
void print_board(const Position& pos);
