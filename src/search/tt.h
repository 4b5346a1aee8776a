// The transposition table: one lock-free block shared by every search thread.
// Two halves, one per side to move (the side is not in the key); buckets of
// four overlapping 16-byte entries; a check word that exposes torn writes; and
// validation of every hash move before the search may play it.
#pragma once
#include <cstdint>

#include "board/position.h"

enum : int { BOUND_UPPER = 1, BOUND_LOWER = 2, BOUND_EXACT = 3 };

// 16 bytes, little-endian: key_low, check | move, eval, score, depth, age_bound.
// Threads read and write entries without locks, so every access goes through
// relaxed 64-bit atomics on the two words; the check word over score and move
// (and key_low re-tested after reading) turns a torn pair into a miss.
struct TTEntry {
    uint64_t lock_word;  // key_low | check << 32
    uint64_t data_word;  // move | eval << 16 | score << 32 | depth << 48 | age_bound << 56
};

struct TTData {
    int score, eval, depth, bound;
    Move move;
};

struct TranspositionTable {
    TTEntry* block = nullptr;
    uint64_t entries = 0;  // E = bytes / 16 of the configured size
    TTEntry* half[2] = {nullptr, nullptr};
    uint64_t mask = ~0ull;
    uint64_t half_entries = 0;  // N + 8 spare entries
};

extern TranspositionTable tt;

int tt_allocate();  // 1 on success, 0 when the memory is not available
void tt_free();
void tt_clear();
bool tt_present();
// Probe: 1 when an entry was found and its move is valid. The out values are
// filled as soon as a matching slot is found, even when the result is 0.
int tt_probe(Position& pos, TTData& out);
void tt_store(const Position& pos, int ply, int depth, Move move, int eval, int score, int bound);
// Follows hash moves from line[index] on (at most to index 76), making them on pos.
void tt_pv(Position& pos, int index, Move* line);
// Fraction of the first 500 entries of each half written in the current search.
float tt_hashfull();
// Moves the age one step along 0, 1, ..., 31, 30, ..., 0, 1, ...
void tt_new_search();

inline void tt_prefetch(const Position& pos) {
    if (tt.block) __builtin_prefetch(&tt.half[pos.side][pos.key & tt.mask]);
}

// The reasons a hash move is refused (0 = valid); exposed for the tests.
int tt_move_rejection(const Position& pos, Move move);
