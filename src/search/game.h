// The game record: the position that "position" sets and "go" searches, with
// its move history. Search threads copy it at the start of every search.
#pragma once
#include "board/thread_board.h"

extern ThreadBoard game;
