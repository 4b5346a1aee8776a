// Progress lines of the search: UCI "info" lines, or a table row in console mode.
#pragma once
#include "board/types.h"

// line_index: 0 for a new best line of the main thread, i + 1 for MultiPV line i,
// 1 for the final line. line is indexed from 1.
void emit_info(int thread, int line_index, int depth, int score, const Move* line);
void format_info(int thread, int line_index, int depth, int score, const Move* line);
// The line printed before each aspiration try once a search runs long.
void emit_iteration_start(int depth);
