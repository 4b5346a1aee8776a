// Opening books: the move a book file proposes for a position.
#pragma once
#include "board/thread_board.h"

// A move from the book file for tb's position, or MOVE_NONE when the file is
// missing, empty or does not know the position.
Move book_probe(ThreadBoard& tb, const char* file);
