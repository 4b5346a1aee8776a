// The interactive engine's main loop: waits for input, and answers every
// "go" with a draw claim, a book move or a search, then "bestmove".
#pragma once

// Polls input about once per millisecond; returns when quit is requested.
void game_loop();
