// The game record: the position that "position" sets and "go" searches, with
// its move history. Search threads copy it at the start of every search.
#pragma once
#include "board/thread_board.h"

extern ThreadBoard game;

// The start of the program before its switches: the game record and the main
// thread's record, the attack and king-and-pawn tables, the default settings
// (saved as the defaults "uci" shows). 0, or -1 when the thread record cannot
// be allocated.
int start_engine_records();

// Sets the game from FEN text when the text describes a legal position: 0, or
// -1 with the game left exactly as it was.
int set_game_position(const char* fen);

// A new move of the game (typed, loaded or played by the engine): 0 when made,
// -1 when not legal. Moves recorded after it by an earlier take-back are dropped.
int play_game_move(Move m);
// Takes back every move; they stay recorded, so replay_game_move can redo them.
void rewind_game();
// Makes the move recorded at the current ply: the move, or MOVE_NONE when none is recorded.
Move replay_game_move();
