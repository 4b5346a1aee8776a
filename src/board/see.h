// Static exchange evaluation: the material result of the captures on one
// square, each side recapturing with its least valuable attacker and free to
// stop. Pieces leave the occupancy, never the board.
#pragma once
#include "board/position.h"

constexpr int16_t SEE_VALUE[7] = {0, 100, 350, 350, 550, 1060, 10000};
constexpr int SEE_RANK[7] = {0, 1, 3, 3, 5, 10, 99};
constexpr int SEE_KING_TAKEN = 9999;  // what being able to take the enemy king is worth

// What colour c gains (>= 0) by starting captures on s against a piece of type
// target, with only the pieces in occ taking part.
int see_gain(const Position& pos, int c, int s, int target, Bitboard occ);
// origin 64: see_gain on whatever stands on destination; otherwise the value
// of capturing from origin (negative when it loses material).
int see_move(const Position& pos, int c, int origin, int destination);
// True when the move loses at most 50 in the exchange.
int see_ok(const Position& pos, Move m);
