// Scaling of drawish endings for the hand-crafted evaluation.
#pragma once
#include "board/position.h"

// Factor for a score given from white's point of view: 1.0 unless both sides have
// little material of similar size, then one of 0.05, 0.325, 0.5, 0.65, 0.75, 1.0
// (0.375 where two reductions meet).
float endgame_scale(const Position& pos, int white_score);
