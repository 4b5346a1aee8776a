// The named weights of the hand-crafted evaluation: one table of middle-game /
// end-game pairs, registered at start-up and filled from a comma-separated text.
#pragma once
#include <cstdint>
#include <string>

// eg * 65536 + mg in one word, so that sums of packed values add both halves at once.
using Score = int32_t;

constexpr Score make_score(int mg, int eg) { return Score(uint32_t(eg) * 65536u + uint32_t(mg)); }
// A negative mg borrows from the eg half: eg_of(make_score(-15, 4)) is 3. Everything
// reading packed sums uses exactly these two unpackings.
constexpr int mg_of(Score s) { return int16_t(uint16_t(uint32_t(s))); }
constexpr int eg_of(Score s) { return s >> 16; }

struct EvalParam {
    Score packed;
    float mg;
    float eg;
    char name[24];

    // The term "weight x n": each half scaled in single precision and truncated.
    Score times(float n) const { return make_score(int(n * mg), int(n * eg)); }
};

constexpr int SCALAR_PARAM_COUNT = 43;
constexpr int PST_COUNT = 9;
constexpr int TTUNE_COUNT = 32;
constexpr int PARAM_CAPACITY = SCALAR_PARAM_COUNT + PST_COUNT * 64 + TTUNE_COUNT;  // 651

extern EvalParam param_table[PARAM_CAPACITY];
extern int param_count;
extern int pst_start;

// Piece-square tables in registration order.
enum PstId { PST_P1, PST_P2, PST_CP, PST_DP, PST_N, PST_B, PST_R, PST_Q, PST_K };

// The handles the evaluation reads: one per scalar weight, 64 per piece-square table.
struct EvalHandles {
    const EvalParam *mtl_pawn, *mtl_knight, *mtl_bishop, *mtl_rook, *mtl_queen;
    const EvalParam *bishop_pair, *knight_mobility, *bishop_mobility, *rook_mobility, *queen_mobility;
    const EvalParam *ppawn_base, *ppawn_mobile, *ppawn_free, *ppawn_connected, *ppawn_fkprox, *ppawn_ekprox,
        *ppawn_candidate;
    const EvalParam *pawn_isolated, *pawn_weak, *pawn_blocked, *pawn_doubled;
    const EvalParam *knight_outpost, *bishop_infiltration, *bishop_outpost, *bishop_rampawns;
    const EvalParam *rook_infiltration, *rook_openfile, *rook_7th;
    const EvalParam *pawn_shield, *enemy_checks, *king_danger1, *king_danger2, *king_trapped, *king_pawn_dist;
    const EvalParam *hung_pawn, *attacked_pawn, *hung_minor, *attacked_minor, *hung_major, *ppush_threat,
        *pinned_piece;
    const EvalParam *mtl_imbalance, *stm_bonus;
    const EvalParam* pst[PST_COUNT][64];
};

extern EvalHandles eval_handles;

// Appends an entry and binds the handle to it.
void register_param(const EvalParam*& handle, const char* name, int mg, int eg);
void register_param_zero(const EvalParam*& handle, const char* name);
// Registers all 651 entries in order with their registration values.
void init_eval_params();
// Applies a parameter text ("start", then name,mg,eg... lines) in registration order.
void load_param_text(const char* text);
// The text the program starts with, as the tuner writes it.
extern const char* const default_param_text;
// The whole table in that format, one line per scalar and per table (what the tuner prints).
std::string param_text();
