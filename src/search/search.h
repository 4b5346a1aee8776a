// The alpha-beta search below the root: the node entry, the move loop and the
// quiescence search. Scores are centipawns for the side to move; a mate at ply
// p is 10000 - p. Lines are arrays of MAX_PLY + 1 moves indexed by ply.
#pragma once
#include "search/rules.h"
#include "search/thread.h"

int search_node(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line);
int search_moves(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line);
int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line);
