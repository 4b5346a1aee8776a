// The search driver: the set-up of one search and the iterative-deepening
// root search that every search thread runs.
#pragma once
#include "search/thread.h"

// Once per search, before any thread starts: clock, limits, tables, state.
void search_prepare();
// The root search of one thread (index into search_threads).
void search_thread_main(int index);
