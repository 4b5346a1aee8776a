// Making and taking back moves. Both keep every Position field current
// (keys and material incrementally) and push or pop one undo record in the
// owning ThreadBoard's history, moving histIndex and plyIndex together.
#pragma once
#include "board/position.h"
#include "board/thread_board.h"

// Plays a pseudo-legal move (legality is the caller's business).
void make_move(Position& pos, Move m);
// Takes back the last move made; calls pair with make_move last-in first-out.
void unmake_move(Position& pos);

// The search's null move: same undo record (move 0), the side flips and the
// en-passant square goes; fifty, pawnKey, touched and castleRights stay.
void make_null_move(Position& pos);
void unmake_null_move(Position& pos);

// Game records keep at most this many plies before they drop the oldest
// records, leaving room above for the search's own plies.
constexpr int GAME_HISTORY_LIMIT = 800;
constexpr int GAME_HISTORY_KEEP = 128;  // more than the fifty-move window: older positions cannot repeat

// The legal move of tb's position that m names (castling by origin and flag,
// whatever its destination; a pawn reaching the last rank without a flag
// promotes to a queen), or MOVE_NONE. Anything from outside (user input, a
// book file) goes through here: it checks the move against the generated
// moves before testing legality. Uses tb's current ply record for the list.
Move match_legal(ThreadBoard& tb, Move m);

// Plays a game move on the game record (or any record that does not search):
// drops the oldest records when the history is full and keeps plyIndex at 1.
// The move is matched against the legal moves first (match_legal): 0 when
// made, -1 with nothing changed when it is not legal, so that a wrong move
// from outside can never corrupt the position.
int make_game_move(ThreadBoard& game, Move m);
// Takes back a game move: 0, or -1 when no record is left.
int unmake_game_move(ThreadBoard& game);
