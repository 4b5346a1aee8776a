#include <algorithm>
#include <cstring>

#include "board/move.h"
#include "board/movegen.h"
#include "board/movepick.h"
#include "board/see.h"
#include "search/search.h"
#include "search/tt.h"
#include "search/tunables.h"

namespace {

using namespace tune;

// Knights and bishops count 1, rooks and queens 2: below 2 the side is nearly bare.
int material_units(uint32_t material) {
    return material_count(material, KNIGHT) + material_count(material, BISHOP) +
           2 * (material_count(material, ROOK) + material_count(material, QUEEN));
}

constexpr int UNITS[7] = {0, 0, 1, 1, 2, 2, 0};

}  // namespace

int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_type, Move* line) {
    Position& pos = t.pos;
    PlyRecord& r = t.ply[ply];

    // 1-2. Standing pat: the side to move need not capture.
    int stand_pat = r.eval;
    if (stand_pat >= beta) return beta;
    int a = std::max(alpha, stand_pat);
    int best = stand_pat;
    r.alpha = int16_t(a);
    r.beta = int16_t(beta);
    r.moves_searched = 0;

    // 3. Quiet checks only right at the horizon; entries from razoring get a wider margin.
    r.genMode = depth >= 0 ? 3 : 1;
    r.stage = STAGE_START;
    r.cursor = r.moves;
    int margin = depth >= 1 ? DELTA_MARGIN_DEEP : DELTA_MARGIN;
    int enemy_units = material_units(pos.material[side ^ 1]);

    Move best_move = MOVE_NONE;
    Move child[MAX_PLY + 2];
    bool cutoff = false;
    for (MoveEntry* e; (e = next_move(pos));) {
        Move m = e->move;
        int to = move_to(m);
        int mover = piece_type(e->piece), victim = piece_type(e->captured);
        bool en_passant = mover == PAWN && to == pos.epSquare;

        // 4.1-4.2 Delta pruning: skip moves that cannot lift the score near alpha.
        int gain;
        if (gives_check(pos, side, m) || (victim && enemy_units - UNITS[victim] < 2))
            gain = GAIN_CHECK;
        else if (mover == PAWN && relative_rank(side, to) >= 6)
            gain = GAIN_PAWN_ADVANCE;
        else
            gain = SEE_VALUE[victim];
        if (stand_pat + gain <= a - margin) continue;

        // 4.3 Captures by a more valuable piece that lose the exchange.
        if (SEE_RANK[mover] > SEE_RANK[victim] && !en_passant && !see_ok(pos, m)) continue;

        // 4.4-4.6
        if (!is_legal(pos, side, m)) continue;
        make_move(pos, m);
        int score = -search_node(t, side ^ 1, ply + 1, depth - 1, -beta, -a, -node_type, child);
        unmake_move(pos);
        if (search_stopped()) return 0;
        r.moves_searched++;

        // 4.7 Every move is searched against the window fixed at the stand-pat.
        if (score > a) {
            best_move = m;
            line[ply] = m;
            line[ply + 1] = MOVE_NONE;
            best = std::max(best, score);
            if (best >= beta) {
                cutoff = true;
                break;
            }
            if (ply + 1 <= MAX_PLY) memcpy(&line[ply + 1], &child[ply + 1], sizeof(Move) * (MAX_PLY - ply));
        }
    }

    // 5-6. Only cut-offs are stored: they are the only results that are bounds.
    if (cutoff && depth >= -1) tt_store(pos, ply, std::min(depth, 0), best_move, r.eval, best, BOUND_LOWER);
    return best;
}
