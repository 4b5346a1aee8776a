// ThreadBoard: the board-core half of a search thread's record: its position,
// the undo history, the per-ply records with their move lists, and the
// move-ordering tables the picker reads. The search's SearchThread extends it.
#pragma once
#include <cstdint>

#include "board/position.h"

constexpr int HISTORY_CAP = 900;  // undo records: game moves plus the search's plies
constexpr int PLY_CAP = 84;       // ply records 0..80, plus the children a node at 80 touches
constexpr int LIST_CAP = 256;     // room for the largest pseudo-legal list and the terminator

// One move-list entry: the move, its ordering score and the pieces involved.
struct MoveEntry {
    Move move;
    int16_t score;
    uint8_t piece;     // piece code on the origin
    uint8_t captured;  // piece code on the destination when generated (0 for en passant, castling)
};

// Search-stack entry of one ply: the node's window and state, and the picker's stage.
struct PlyRecord {
    int16_t node_type;     // 0 PV, 1 expected cut, -1 expected all
    int16_t depth;
    int16_t eval;
    int16_t alpha, beta;
    uint16_t inCheck;
    uint16_t move_class;   // move_props of the move being searched
    uint16_t improving;
    Move killer1, killer2;
    Move checkKiller;
    Move hashMove;
    int16_t hash_score;
    int8_t hash_depth;
    int32_t tb_result;
    int16_t moves_searched;
    uint8_t captureTarget;  // square of a checking piece, 64 when not in check
    uint8_t genMode;        // 4 full-width; else quiescence (bit 2 asks for quiet checks)
    uint8_t stage;
    MoveEntry* moves;       // this ply's list buffer
    MoveEntry* cursor;      // the entry last handed out
    MoveEntry* listEnd;     // the terminator after the groups generated so far
};

// Quiet-move ordering knowledge, indexed by moving piece code * 64 + destination.
struct OrderingTables {
    uint16_t history[1024];
    Move counter1[1024];
    Move counter2[1024];
    Move followup[1024];
};

struct ThreadBoard {
    Position pos;
    HistoryEntry history[HISTORY_CAP];
    int16_t histIndex;  // plies made since set-up
    int16_t plyIndex;   // current PlyRecord
    Move lastMove;      // the move that led here; 0 after set-up and a null move
    PlyRecord ply[PLY_CAP];
    MoveEntry lists[PLY_CAP][LIST_CAP];
    OrderingTables order;
    uint64_t nodes;     // search and perft node counter
    uint64_t tt_probes; // transposition-table probes and hits of this thread
    uint64_t tt_hits;

    PlyRecord& current_ply() { return ply[plyIndex]; }
};

// Clears the record (no position yet: set_fen comes next), points every ply's
// list at its buffer and the position at this record, resets the ordering tables.
void init_thread_board(ThreadBoard& tb);
// Copies position and history from another record (the game record) into this
// one; the copy starts at ply record 1 with its own list buffers.
void copy_game(ThreadBoard& to, const ThreadBoard& from);
// History entries to 4096, counter and follow-up moves to 0.
void reset_ordering(OrderingTables& order);
// Clears the killers of every ply record.
void clear_killers(ThreadBoard& tb);
