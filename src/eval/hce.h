// The hand-crafted evaluation: material, piece-square tables and positional
// terms as middle-game/end-game pairs per side, blended by a material phase.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "eval/params.h"

struct EvalState;

constexpr int PAWN_CACHE_SIZE = 8192;

// Pawn-structure totals of one pawn configuration (and king wings).
struct PawnCacheEntry {
    uint64_t key;
    uint64_t totals;  // white's packed total in the low 32 bits, black's in the high 32 bits
};

// Categories of the per-side totals the display shows.
enum TermCategory { CAT_PAWNS, CAT_PPAWNS, CAT_KNIGHTS, CAT_BISHOPS, CAT_ROOKS, CAT_QUEENS, CAT_KING, CAT_THREATS,
                    CAT_SPECIAL, CAT_COUNT };

// Per-thread working state of the hand-crafted evaluation.
struct HceState {
    Score total[2];
    Bitboard king_zone[2];
    Bitboard attacks[2][7];  // [side][0] = all pieces, [PAWN .. KING] = by that piece type
    Bitboard attacked_twice[2];
    int king_attackers[2];   // attack counter of each king (weights of the enemy pieces hitting its zone)
    Bitboard outposts[2];
    float phase;             // 1.0 opening .. 0 bare kings
    Bitboard hung_pieces;
    Bitboard free_pawns;
    uint8_t eval_trace;      // when set, term_totals are filled
    Score term_totals[2][CAT_COUNT];

    PawnCacheEntry pawn_cache[PAWN_CACHE_SIZE];
    uint64_t pawn_probes;
    uint64_t pawn_hits;
};

// Centipawns for the side to move of pos. Uses es.hce and es.eval_ply.
int hce_evaluate(EvalState& es, const Position& pos);

// What the tuner fits: per weight and side, the multiplier the evaluation applied
// to it (1 for a plain term, n for "weight x n"), with the phase and the ending's scale.
struct HceTrace {
    float coef[PARAM_CAPACITY][2];
    float phase;
    float scale;
};

// hce_evaluate that also fills the trace (the pawn cache is bypassed).
int hce_trace(EvalState& es, const Position& pos, HceTrace& trace);

// Pieces of side pinned to their king by an enemy slider, and (when the side has a
// queen) pieces shielding its lowest-numbered queen from an enemy bishop or rook.
Bitboard pinned_pieces(const Position& pos, int side);

// Pawn-cache key: the pawn key with the two kings' wings folded in.
uint64_t pawn_cache_key(const Position& pos);
