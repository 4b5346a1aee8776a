#include "eval/evaluate.h"

#include <algorithm>

#include "board/attacks.h"
#include "board/thread_board.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "eval/nn/infer.h"

EvalContext eval_context;

namespace {

int centre_distance(int sq) {
    int f = file_of(sq), r = rank_of(sq);
    return std::max(3 - f, f - 4) + std::max(3 - r, r - 4);
}

int edge_distance(int sq) {
    int f = file_of(sq), r = rank_of(sq);
    return std::min(std::min(f, 7 - f), std::min(r, 7 - r));
}

// Distance to the nearer of the dark corners a1 and h8.
int corner_distance(int sq) {
    int sum = file_of(sq) + rank_of(sq);
    return std::min(sum, 14 - sum);
}

int count(uint32_t material, int type) { return material_count(material, type); }

// King and rook or queen (pawns allowed) against a bare king: drive the
// defender to the edge and bring the kings together.
int mop_up(const Position& pos, int side) {
    int s[2];
    for (int c = 0; c < 2; c++)
        s[c] = 256 * (count(pos.material[c], ROOK) + 2 * count(pos.material[c], QUEEN)) -
               16 * centre_distance(pos.kingSq[c]);
    int closeness = 1000 - 16 * square_distance(pos.kingSq[WHITE], pos.kingSq[BLACK]);
    if (s[WHITE] > s[BLACK])
        s[WHITE] += closeness;
    else
        s[BLACK] += closeness;
    int v = std::clamp(s[WHITE] - s[BLACK], -3000, 3000);
    return side == BLACK ? -v : v;
}

// King, bishop and knight against king: the defender belongs in a corner of the bishop's colour.
int kbnk(const Position& pos, int side) {
    int strong = pos.material[WHITE] ? WHITE : BLACK;
    int bishop = lsb(pos.pieces[strong][BISHOP]);
    int knight = lsb(pos.pieces[strong][KNIGHT]);
    int king = pos.kingSq[strong], defender = pos.kingSq[strong ^ 1];
    bool dark = ((file_of(bishop) + rank_of(bishop)) & 1) == 0;
    int k = dark ? defender : defender ^ 7;
    int v = 900 + edge_distance(king) + edge_distance(knight) - 8 * edge_distance(k) - 8 * corner_distance(k) -
            8 * square_distance(king, defender);
    return side == strong ? v : -v;
}

// King and pawn against king: distance race plus the table's verdict.
int kpk(const Position& pos, int side) {
    int strong = pos.material[WHITE] ? WHITE : BLACK;
    int pawn = lsb(pos.pieces[strong][PAWN]);
    int attacker = pos.kingSq[strong], defender = pos.kingSq[strong ^ 1];
    int v, mover;
    if (strong == WHITE) {
        int queening = make_square(file_of(pawn), 7);
        v = 4 * rank_of(pawn) + square_distance(defender, queening) - square_distance(attacker, queening);
        mover = side;
    } else {
        int queening = make_square(file_of(pawn), 0);
        v = 4 * (7 - rank_of(pawn)) + square_distance(defender, queening) - square_distance(attacker, queening);
        // Turn the board so that the pawn runs up it.
        pawn = 63 - pawn;
        attacker = 63 - attacker;
        defender = 63 - defender;
        mover = side ^ 1;
    }
    if (file_of(pawn) >= 4) {
        pawn ^= 7;
        attacker ^= 7;
        defender ^= 7;
    }
    if (kpk_table[kpk_index(mover, pawn, attacker, defender)] == 2) v += 800;
    return side == strong ? v : -v;
}

// The network's score with the two drawish-ending corrections it needs.
int network_score(EvalState& es, const Position& pos) {
    es.nn.eval_ply = es.eval_ply;
    int v = nn_evaluate(es.nn, pos);
    uint32_t w = pos.material[WHITE], b = pos.material[BLACK];
    uint32_t majors = MAT_ROOK * 15 | MAT_QUEEN * 15;
    if (((w | b) & majors) == 0 && count(w, BISHOP) == 1 && count(b, BISHOP) == 1) {
        Bitboard bishops = pos.pieces[WHITE][BISHOP] | pos.pieces[BLACK][BISHOP];
        constexpr Bitboard LIGHT = 0x55AA55AA55AA55AAull;
        if ((bishops & LIGHT) && (bishops & ~LIGHT)) v -= v / 4;
    }
    if ((w == MAT_QUEEN && b == MAT_ROOK) || (w == MAT_ROOK && b == MAT_QUEEN)) v /= 2;
    return v;
}

int contempt_term(const Position& pos, int side) {
    const uint32_t w = pos.material[WHITE], b = pos.material[BLACK];
    auto both = [&](int type) { return count(w, type) + count(b, type); };
    int phase = 350 * (both(KNIGHT) + both(BISHOP)) + 550 * both(ROOK) + 1060 * both(QUEEN) +
                2 * std::min(1200, 100 * both(PAWN));
    phase = std::min(8192, phase);
    int c = (options.contempt * phase) / 8192 + (options.contempt_slope * (phase - 4096)) / 4096;
    return side == eval_context.root_side ? c : -c;
}

}  // namespace

bool endgame_rule(const Position& pos, int side, int& score) {
    uint32_t w = pos.material[WHITE], b = pos.material[BLACK];
    uint32_t heavy_or_pawn = MAT_PAWN * 15 | MAT_ROOK * 15 | MAT_QUEEN * 15;
    bool no_pawn_rook_queen = ((w | b) & heavy_or_pawn) == 0;
    if (no_pawn_rook_queen) {
        auto minors = [](uint32_t m) { return count(m, KNIGHT) + count(m, BISHOP); };
        if (minors(w) <= 1 && minors(b) <= 1) {
            score = 0;
            return true;
        }
        if ((w == 2 * MAT_KNIGHT && b == 0) || (b == 2 * MAT_KNIGHT && w == 0)) {
            score = 0;
            return true;
        }
    }
    if (w != 0 && b != 0) return false;
    uint32_t strong = w | b;
    if (strong & (MAT_ROOK * 15 | MAT_QUEEN * 15)) {
        score = mop_up(pos, side);
        return true;
    }
    if (strong == MAT_KNIGHT + MAT_BISHOP) {
        score = kbnk(pos, side);
        return true;
    }
    if (strong == MAT_PAWN) {
        score = kpk(pos, side);
        return true;
    }
    return false;
}

int evaluate(EvalState& es, const Position& pos, int side, int ply, int inCheck) {
    bump(es.eval_calls);
    es.eval_ply = int16_t(ply);
    if (inCheck) return -3000;

    for (int type = PAWN; type <= QUEEN; type++)
        for (int c = 0; c < 2; c++) es.piece_counts[(type - 1) * 2 + c] = uint16_t(count(pos.material[c], type));

    int v;
    if (endgame_rule(pos, side, v)) return v;

    EvalCacheEntry& entry = es.cache[(pos.key & 4095) + (side == BLACK ? 4096 : 0)];
    if (entry.key == pos.key && ply > 2) {
        bump(es.eval_hits);
        return entry.value;
    }

    v = options.use_nn ? network_score(es, pos) : hce_evaluate(es, pos);

    if (eval_context.game_plies > 4 && !eval_context.analysis) v += contempt_term(pos, side);

    if (options.eval_noise > 0) {
        uint64_t mixed = uint64_t(int64_t(eval_context.noise_seed)) ^ pos.key;
        v += int(mixed % uint64_t(options.eval_noise)) - (options.eval_noise >> 1);
    }

    v -= (v * pos.fifty) / 256;

    entry.key = pos.key;
    entry.value = int16_t(v);
    return v;
}

int nne_score(EvalState& es, const Position& pos) {
    es.nn.eval_ply = 0;  // rebuilt from scratch
    return nn_evaluate(es.nn, pos);
}

int hce_score(EvalState& es, const Position& pos) {
    // A fresh look at the position: no pawn-cache entry from an earlier search is trusted.
    es.eval_ply = 0;
    return hce_evaluate(es, pos);
}
