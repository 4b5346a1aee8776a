// The tablebase root: the result line, the root moves that would throw the
// result away taken out of the search, and the DTZ move played at once.
#pragma once
#include "search/thread.h"

// On the main thread's root list before iterative deepening. Stores the root
// result in SearchState (-1 when the tables know nothing). True when the
// tables chose the move: then move and score are the engine's answer.
bool tb_root(SearchThread& t, Move& move, int& score);
