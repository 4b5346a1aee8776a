// The staged move picker: generates the moves of a node group by group into
// the ply's list only when the previous group is used up, and hands out the
// best remaining entry by one selection pass per call.
#pragma once
#include "board/position.h"
#include "board/thread_board.h"

// PlyRecord::stage values.
enum PickStage : uint8_t {
    STAGE_START = 0,      // nothing handed out yet
    STAGE_HASH_DONE = 1,  // the hash move went out; the tactical group comes next
    STAGE_TACTICAL = 2,   // handing out tactical moves scoring above 100
    STAGE_QUIETS = 3,     // the second group is being generated
    STAGE_SORTED = 4,     // handing out by score while scores stay above 3
    STAGE_REST = 5,       // the rest in list order
};

constexpr uint8_t GEN_FULL_WIDTH = 4;  // genMode of search and perft nodes
constexpr uint8_t GEN_QUIET_CHECKS = 2;  // quiescence nodes: also quiet checking moves

// Scores by captured type (none, pawn .. queen; a king is never captured).
constexpr int16_t MVV_SCORE[7] = {210, 220, 230, 230, 240, 250, 0};
constexpr int16_t LOSING_CAPTURE_SCORE[7] = {2, 4, 12, 12, 16, 20, 0};
constexpr int16_t HASH_MOVE_SCORE = 255;
constexpr int16_t QUIET_CHECK_SCORE = 100;

// Before the first call the caller sets stage = 0, cursor = moves, and fills
// genMode, captureTarget, inCheck and hashMove of the current ply record.
// Returns the next pseudo-legal entry, or nullptr when the node has no more.
MoveEntry* next_move(Position& pos);
