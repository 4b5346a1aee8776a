#include "eval/hce.h"

#include "eval/evaluate.h"

uint64_t pawn_cache_key(const Position& pos) {
    uint64_t key = pos.pawnKey;
    if (file_of(pos.kingSq[WHITE]) <= 3) key ^= 0x6c43eb52aull;
    if (file_of(pos.kingSq[BLACK]) <= 3) key ^= 0x3e2571cb4ull;
    return key;
}

Bitboard pinned_pieces(const Position& pos, int side) { return 0; }

// Material only for now; the positional terms follow.
int hce_evaluate(EvalState& es, const Position& pos) {
    const EvalHandles& h = eval_handles;
    const EvalParam* mtl[6] = {nullptr, h.mtl_pawn, h.mtl_knight, h.mtl_bishop, h.mtl_rook, h.mtl_queen};
    Score total[2] = {0, 0};
    for (int c = 0; c < 2; c++)
        for (int t = PAWN; t <= QUEEN; t++) total[c] += material_count(pos.material[c], t) * mtl[t]->packed;
    Score d = total[pos.side] - total[pos.side ^ 1];
    return (mg_of(d) + eg_of(d)) / 2;
}
