#include "eval/hce.h"

#include <algorithm>
#include <cstring>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/see.h"
#include "core/relaxed.h"
#include "eval/evaluate.h"
#include "eval/scale.h"

namespace {

constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAull;
constexpr Bitboard CENTRE_BLOCK = 0x3c3c3c3c0000ull;      // c3-f6
constexpr Bitboard OUTPOST_FILES = 0x7E7E7E7E7E7E7E7Eull;  // files b-g
constexpr Bitboard HALF[2] = {0xFFFFFFFF00000000ull, 0x00000000FFFFFFFFull};  // the enemy half of each side

constexpr float CURVE_N[9] = {-0.53f, -0.16f, 0, 0.12f, 0.22f, 0.31f, 0.39f, 0.47f, 0.47f};
constexpr float CURVE_B[15] = {-0.47f, -0.14f, 0, 0.11f, 0.2f, 0.27f, 0.35f, 0.41f,
                               0.47f,  0.53f,  0.53f, 0.53f, 0.53f, 0.53f, 0.53f};
constexpr float CURVE_Q[28] = {-0.47f, -0.24f, -0.14f, -0.06f, 0,     0.06f, 0.11f, 0.15f, 0.2f,  0.24f,
                               0.27f,  0.31f,  0.35f,  0.38f,  0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f,
                               0.41f,  0.41f,  0.41f,  0.41f,  0.41f, 0.41f, 0.41f, 0.41f};
constexpr float CURVE_D[8] = {0, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f, 1.0f};
constexpr float VALW[8] = {0, 0.09f, 0.09f, 0.24f, 0.4f, 0.64f, 1.0f, 0};
constexpr double KPW[8] = {0, 0.2, 0.2, 0.4, 0.6, 0.8, 1.0, 0};
constexpr float CONW[8] = {0, 0, 0, 0.4f, 0.8f, 1.0f, 0, 0};
constexpr float NEAR[6] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
constexpr float CANDW[8] = {0, 0, 0, 0.4f, 0.7f, 1.0f, 0, 0};
constexpr int ZONE_CLAMP[8] = {1, 1, 2, 3, 4, 5, 6, 6};

Bitboard north_fill(Bitboard b) {
    b |= b << 8;
    b |= b << 16;
    return b | b << 32;
}
Bitboard south_fill(Bitboard b) {
    b |= b >> 8;
    b |= b >> 16;
    return b | b >> 32;
}
Bitboard west(Bitboard b) { return (b & ~FILE_A) >> 1; }
Bitboard east(Bitboard b) { return (b & ~FILE_H) << 1; }
Bitboard sideways(Bitboard b) { return west(b) | east(b); }
Bitboard forward(int side, Bitboard b) { return push_bb(side, b); }
Bitboard fill_forward(int side, Bitboard b) { return side == WHITE ? north_fill(b) : south_fill(b); }
Bitboard fill_backward(int side, Bitboard b) { return side == WHITE ? south_fill(b) : north_fill(b); }
// Squares ahead of the pieces on their files, from the side's point of view.
Bitboard front_span(int side, Bitboard b) { return fill_forward(side, forward(side, b)); }
Bitboard pawn_attack_set(int side, Bitboard p) {
    return side == WHITE ? ((p & ~FILE_A) << 7) | ((p & ~FILE_H) << 9) : ((p & ~FILE_A) >> 9) | ((p & ~FILE_H) >> 7);
}
Bitboard pawn_double_attacks(int side, Bitboard p) {
    return side == WHITE ? ((p & ~FILE_A) << 7) & ((p & ~FILE_H) << 9) : ((p & ~FILE_A) >> 9) & ((p & ~FILE_H) >> 7);
}

Bitboard king_zone(int king) {
    int centre = make_square(ZONE_CLAMP[file_of(king)], ZONE_CLAMP[rank_of(king)]);
    return KingAttacks[centre] | square_bb(centre);
}

// Expansions of the king's neighbourhood until it (or its one-rank shifts) meets a front span.
int king_pawn_distance(int king, Bitboard spans) {
    Bitboard area = KingAttacks[king] | square_bb(king);
    int d = 0;
    while (((area | area << 8 | area >> 8) & spans) == 0 && d < 7) {
        area |= sideways(area);
        area |= area << 8 | area >> 8;
        d++;
    }
    return d;
}

// One evaluation. With Trace, every weight's multiplier is also recorded per side,
// which is what the tuner fits; the normal instantiation carries no trace code.
template <bool Trace>
class HceRun {
public:
    HceRun(EvalState& es, const Position& pos, HceTrace* trace)
        : es_(es), st_(es.hce), pos_(pos), h_(eval_handles), trace_(trace) {}

    int run();

private:
    EvalState& es_;
    HceState& st_;
    const Position& pos_;
    const EvalHandles& h_;
    HceTrace* trace_;
    Score term_[2][CAT_COUNT] = {};
    Bitboard occ_ = 0;
    int flip_[2] = {0, 0};  // square transformation of each side's table lookups
    Bitboard pawn_att_[2] = {0, 0};
    Bitboard front_[2] = {0, 0};
    Bitboard passed_[2] = {0, 0};
    Bitboard candidates_[2] = {0, 0};

    void add(int side, int cat, const EvalParam* p) {
        term_[side][cat] += p->packed;
        if constexpr (Trace) trace_->coef[p - param_table][side] += 1.0f;
    }
    void add(int side, int cat, const EvalParam* p, float n) {
        term_[side][cat] += p->times(n);
        if constexpr (Trace) trace_->coef[p - param_table][side] += n;
    }
    // What every piece adds: material, table value, pressure on the enemy king zone, attack maps.
    void piece(int us, int cat, int type, const EvalParam* material, int table, int sq, Bitboard att, int weight) {
        add(us, cat, material);
        add(us, cat, h_.pst[table][sq ^ flip_[us]]);
        if (att & st_.king_zone[us ^ 1]) st_.king_attackers[us ^ 1] += weight;
        st_.attacked_twice[us] |= st_.attacks[us][0] & att;
        st_.attacks[us][0] |= att;
        st_.attacks[us][type] |= att;
    }
    // A minor piece on an outpost square (better when a pawn defends it), or eyeing one.
    void outpost(int us, int cat, const EvalParam* weight, int sq, Bitboard att) {
        if (st_.outposts[us] & square_bb(sq))
            add(us, cat, weight, pawn_att_[us] & square_bb(sq) ? 1.0f : 0.67f);
        else if (att & st_.outposts[us])
            add(us, cat, weight, 0.33f);
    }

    void setup();
    void pawn_structure();
    Score pawn_structure_of(int side, int table);
    void knights(int us);
    void bishops(int us);
    void rooks(int us);
    void queens(int us);
    void king(int us);
    void passed_pawns(int us);
    void candidate_pawns(int us);
    void threats(int us);
};

template <bool Trace>
void HceRun<Trace>::setup() {
    const Position& pos = pos_;
    occ_ = pos.occupied();
    int material = 0;
    for (int c = 0; c < 2; c++) {
        uint32_t m = pos.material[c];
        material += 5 * material_count(m, ROOK) + 9 * material_count(m, QUEEN) +
                    3 * (material_count(m, KNIGHT) + material_count(m, BISHOP)) + material_count(m, PAWN);
    }
    st_.phase = std::min(1.0f, 0.014f * float(material));
    flip_[WHITE] = file_of(pos.kingSq[WHITE]) <= 3 ? 7 : 0;
    flip_[BLACK] = file_of(pos.kingSq[BLACK]) <= 3 ? 63 : 56;

    for (int us = 0; us < 2; us++) {
        Bitboard pawns = pos.pieces[us][PAWN];
        pawn_att_[us] = pawn_attack_set(us, pawns);
        front_[us] = front_span(us, pawns);
        int king = pos.kingSq[us];
        st_.king_zone[us] = king_zone(king);
        st_.king_attackers[us] = 0;
        for (int t = 0; t < 7; t++) st_.attacks[us][t] = 0;
        st_.attacks[us][PAWN] = pawn_att_[us];
        st_.attacks[us][KING] = KingAttacks[king];
        st_.attacks[us][0] = pawn_att_[us] | KingAttacks[king];
        st_.attacked_twice[us] = pawn_double_attacks(us, pawns) | (pawn_att_[us] & KingAttacks[king]);
    }
    for (int us = 0; us < 2; us++) {
        int them = us ^ 1;
        Bitboard pawns = pos.pieces[us][PAWN];
        Bitboard their_attack_span = sideways(front_[them]);
        passed_[us] = pawns & ~(front_[them] | their_attack_span);
        candidates_[us] = pawns & ~front_[them] & ~passed_[us];
        Bitboard ranks = us == WHITE ? rank_bb(3) | rank_bb(4) | rank_bb(5) : rank_bb(2) | rank_bb(3) | rank_bb(4);
        st_.outposts[us] = ranks & OUTPOST_FILES & ~their_attack_span;
    }
    st_.hung_pieces = 0;
    st_.free_pawns = 0;
}

template <bool Trace>
Score HceRun<Trace>::pawn_structure_of(int us, int table) {
    Score before = term_[us][CAT_PAWNS];
    Bitboard pawns = pos_.pieces[us][PAWN];
    Bitboard beside = sideways(pawns);
    for (Bitboard b = pawns; b;) {
        int sq = pop_lsb(b);
        int t = sq ^ flip_[us];
        add(us, CAT_PAWNS, h_.mtl_pawn);
        add(us, CAT_PAWNS, h_.pst[table][t]);
        if (pawn_att_[us] & square_bb(sq)) add(us, CAT_PAWNS, h_.pst[PST_DP][t]);
        if (beside & square_bb(sq)) add(us, CAT_PAWNS, h_.pst[PST_CP][t]);
    }
    Bitboard files = north_fill(south_fill(pawns));
    Bitboard isolated = pawns & ~sideways(files);
    Bitboard supported = fill_forward(us, sideways(pawns));
    Bitboard weak = pawns & ~isolated & ~supported;
    Bitboard doubled = pawns & fill_backward(us, forward(us ^ 1, pawns));
    if (isolated) add(us, CAT_PAWNS, h_.pawn_isolated, float(popcount(isolated)));
    if (weak) add(us, CAT_PAWNS, h_.pawn_weak, float(popcount(weak)));
    if (doubled) add(us, CAT_PAWNS, h_.pawn_doubled, float(popcount(doubled)));
    return term_[us][CAT_PAWNS] - before;
}

template <bool Trace>
void HceRun<Trace>::pawn_structure() {
    bool opposite_wings = (flip_[WHITE] == 7) != (flip_[BLACK] == 63);
    int table = opposite_wings ? PST_P2 : PST_P1;
    uint64_t key = pawn_cache_key(pos_);
    PawnCacheEntry& entry = st_.pawn_cache[key & (PAWN_CACHE_SIZE - 1)];
    bump(st_.pawn_probes);
    if (!Trace && entry.key == key && es_.eval_ply >= 2) {
        bump(st_.pawn_hits);
        term_[WHITE][CAT_PAWNS] += Score(uint32_t(entry.totals));
        term_[BLACK][CAT_PAWNS] += Score(uint32_t(entry.totals >> 32));
    } else {
        Score white = pawn_structure_of(WHITE, table);
        Score black = pawn_structure_of(BLACK, table);
        entry.key = key;
        entry.totals = uint64_t(uint32_t(white)) | uint64_t(uint32_t(black)) << 32;
    }
    for (int us = 0; us < 2; us++) {
        Bitboard blocked = pos_.pieces[us][PAWN] & forward(us ^ 1, occ_);
        if (blocked) add(us, CAT_PAWNS, h_.pawn_blocked, float(popcount(blocked)));
    }
}

template <bool Trace>
void HceRun<Trace>::knights(int us) {
    int them = us ^ 1;
    Bitboard own = pos_.pieces[us][0];
    for (Bitboard b = pos_.pieces[us][KNIGHT]; b;) {
        int sq = pop_lsb(b);
        Bitboard att = KnightAttacks[sq];
        add(us, CAT_KNIGHTS, h_.knight_mobility, CURVE_N[popcount(att & ~own & ~pawn_att_[them])]);
        outpost(us, CAT_KNIGHTS, h_.knight_outpost, sq, att);
        piece(us, CAT_KNIGHTS, KNIGHT, h_.mtl_knight, PST_N, sq, att, 4);
    }
}

template <bool Trace>
void HceRun<Trace>::bishops(int us) {
    int them = us ^ 1;
    Bitboard own = pos_.pieces[us][0];
    Bitboard bishops = pos_.pieces[us][BISHOP];
    Bitboard through = occ_ & ~(pos_.pieces[WHITE][QUEEN] | pos_.pieces[BLACK][QUEEN]);
    for (Bitboard b = bishops; b;) {
        int sq = pop_lsb(b);
        Bitboard att = bishop_attacks(sq, through);
        add(us, CAT_BISHOPS, h_.bishop_mobility, CURVE_B[popcount(att & ~own & ~pawn_att_[them])]);
        if (Bitboard centre = att & CENTRE_BLOCK) add(us, CAT_BISHOPS, h_.bishop_infiltration, float(popcount(centre)));
        outpost(us, CAT_BISHOPS, h_.bishop_outpost, sq, att);
        piece(us, CAT_BISHOPS, BISHOP, h_.mtl_bishop, PST_B, sq, att, 3);
    }
    if (!bishops) return;
    if ((bishops & LIGHT_SQUARES) && (bishops & ~LIGHT_SQUARES)) add(us, CAT_BISHOPS, h_.bishop_pair);
    Bitboard rams = pos_.pieces[us][PAWN] & forward(them, pos_.pieces[them][PAWN]);
    int rammed = 0;
    if (bishops & LIGHT_SQUARES) rammed += popcount(rams & LIGHT_SQUARES);
    if (bishops & ~LIGHT_SQUARES) rammed += popcount(rams & ~LIGHT_SQUARES);
    if (rammed) add(us, CAT_BISHOPS, h_.bishop_rampawns, float(rammed));
}

template <bool Trace>
void HceRun<Trace>::rooks(int us) {
    int them = us ^ 1;
    Bitboard own = pos_.pieces[us][0];
    Bitboard rooks = pos_.pieces[us][ROOK];
    Bitboard through = occ_ & ~(pos_.pieces[WHITE][QUEEN] | pos_.pieces[BLACK][QUEEN] | rooks);
    Bitboard unsafe = pawn_att_[them] | st_.attacks[them][KNIGHT] | st_.attacks[them][BISHOP];
    Bitboard all_pawns = pos_.pieces[WHITE][PAWN] | pos_.pieces[BLACK][PAWN];
    bool king_at_back = relative_rank(us, pos_.kingSq[them]) >= 6;
    for (Bitboard b = rooks; b;) {
        int sq = pop_lsb(b);
        Bitboard att = rook_attacks(sq, through);
        Bitboard file = file_bb(file_of(sq));
        add(us, CAT_ROOKS, h_.rook_mobility, CURVE_B[popcount(att & ~own & ~unsafe)]);
        if (Bitboard deep = att & file & HALF[us]) add(us, CAT_ROOKS, h_.rook_infiltration, float(popcount(deep)));
        if (!(all_pawns & file)) add(us, CAT_ROOKS, h_.rook_openfile);
        if (relative_rank(us, sq) == 6 && king_at_back) add(us, CAT_ROOKS, h_.rook_7th);
        piece(us, CAT_ROOKS, ROOK, h_.mtl_rook, PST_R, sq, att, 4);
    }
}

template <bool Trace>
void HceRun<Trace>::queens(int us) {
    int them = us ^ 1;
    Bitboard own = pos_.pieces[us][0];
    Bitboard unsafe = pawn_att_[them] | st_.attacks[them][KNIGHT] | st_.attacks[them][BISHOP] | st_.attacks[them][ROOK];
    Bitboard diagonal_through = occ_ & ~pos_.pieces[us][BISHOP];
    Bitboard line_through = occ_ & ~pos_.pieces[us][ROOK];
    for (Bitboard b = pos_.pieces[us][QUEEN]; b;) {
        int sq = pop_lsb(b);
        Bitboard att = bishop_attacks(sq, diagonal_through) | rook_attacks(sq, line_through);
        add(us, CAT_QUEENS, h_.queen_mobility, CURVE_Q[popcount(att & ~own & ~unsafe)]);
        piece(us, CAT_QUEENS, QUEEN, h_.mtl_queen, PST_Q, sq, att, 5);
    }
}

template <bool Trace>
void HceRun<Trace>::king(int us) {
    int them = us ^ 1;
    const Position& pos = pos_;
    int king = pos.kingSq[us];
    add(us, CAT_KING, h_.pst[PST_K][king ^ flip_[us]]);
    if (!(pos.pieces[them][ROOK] | pos.pieces[them][QUEEN])) return;

    const Bitboard* mine = st_.attacks[us];
    const Bitboard* theirs = st_.attacks[them];
    Bitboard zone = st_.king_zone[us];
    Bitboard pawns = pos.pieces[us][PAWN];

    Bitboard cover = pawns | forward(us, pawns) | forward(us, forward(us, pawns));
    int shield = std::min(9, popcount(forward(us, zone) & cover));
    add(us, CAT_KING, h_.pawn_shield, float(shield - 9) * 0.111f);

    Bitboard by_minors = mine[PAWN] | mine[KNIGHT] | mine[BISHOP];
    Bitboard by_rooks = by_minors | mine[ROOK];
    Bitboard by_pieces = by_rooks | mine[QUEEN];
    Bitboard safe = ~pos.pieces[them][0] & ~(mine[0] & ~st_.attacked_twice[them]);
    Bitboard knight_checks = KnightAttacks[king] & safe;
    Bitboard diagonal_checks = bishop_attacks(king, occ_) & safe;
    Bitboard line_checks = rook_attacks(king, occ_) & safe;
    Bitboard knights = theirs[KNIGHT] & ~by_minors;
    Bitboard bishops = theirs[BISHOP] & ~by_minors;
    Bitboard rooks = theirs[ROOK] & ~by_rooks;
    Bitboard queens = theirs[QUEEN] & ~by_pieces;
    int queen_checks = ((queens & diagonal_checks) != 0) + ((queens & line_checks) != 0);
    int checks = popcount(knights & knight_checks) + popcount(bishops & diagonal_checks) +
                 popcount(rooks & line_checks) + queen_checks;
    if (checks > 0) add(us, CAT_KING, h_.enemy_checks, float(checks));

    int danger = st_.king_attackers[us] - shield - 2 + popcount(zone & theirs[PAWN] & ~mine[PAWN]) +
                 3 * popcount(bishops & (diagonal_checks | zone)) + 4 * popcount(knights & (knight_checks | zone)) +
                 4 * popcount(rooks & (line_checks | zone)) + 5 * (queen_checks + popcount(queens & zone));
    if (danger > 0)
        add(us, CAT_KING, pos.pieces[them][QUEEN] ? h_.king_danger1 : h_.king_danger2,
            float(danger * danger) * 0.0015f);

    if (!(KingAttacks[king] & ~(pos.pieces[us][0] | theirs[0]))) add(us, CAT_KING, h_.king_trapped);

    Bitboard spans = front_[WHITE] | front_[BLACK];
    Bitboard near = KingAttacks[king] | square_bb(king);
    if ((pos.pieces[WHITE][PAWN] | pos.pieces[BLACK][PAWN]) && !(near & spans)) {
        int d = king_pawn_distance(king, spans);
        if (d) add(us, CAT_KING, h_.king_pawn_dist, CURVE_D[d]);
    }
}

template <bool Trace>
void HceRun<Trace>::passed_pawns(int us) {
    int them = us ^ 1;
    const Position& pos = pos_;
    const Bitboard* mine = st_.attacks[us];
    const Bitboard* theirs = st_.attacks[them];
    Bitboard all_pawns = pos.pieces[WHITE][PAWN] | pos.pieces[BLACK][PAWN];
    Bitboard stoppers = theirs[PAWN] | theirs[KNIGHT] | theirs[BISHOP];
    Bitboard passable = (~occ_ & ~theirs[0]) | (mine[0] & ~st_.attacked_twice[them]);
    int step = us == WHITE ? 8 : -8;
    for (Bitboard b = passed_[us]; b;) {
        int sq = pop_lsb(b);
        Bitboard ahead = front_span(us, square_bb(sq));
        if (ahead & all_pawns) continue;
        int r = relative_rank(us, sq);
        int stop = sq + step;
        if (r == 1 && !pos.board[stop]) stop += step;
        int ref = r <= 5 ? stop + step : stop;
        bool mobile = !pos.board[stop] && see_move(pos, us, sq, stop) == 0;
        bool free = mobile && !(ahead & stoppers) && !(ahead & ~passable);
        if (free) st_.free_pawns |= square_bb(sq);
        add(us, CAT_PPAWNS, free ? h_.ppawn_free : mobile ? h_.ppawn_mobile : h_.ppawn_base, VALW[r]);
        int enemy_distance = std::min(square_distance(pos.kingSq[them], ref), 6) - 2;
        int own_distance = pos.kingSq[us] == ref ? -1 : std::min(square_distance(pos.kingSq[us], ref), 6) - 2;
        add(us, CAT_PPAWNS, h_.ppawn_ekprox, float(enemy_distance * KPW[r] * 0.25));
        add(us, CAT_PPAWNS, h_.ppawn_fkprox, float(own_distance * KPW[r] * 0.25));
        if (pawn_att_[us] & square_bb(stop)) add(us, CAT_PPAWNS, h_.ppawn_connected, CONW[r]);
    }
}

template <bool Trace>
void HceRun<Trace>::candidate_pawns(int us) {
    int them = us ^ 1;
    const Position& pos = pos_;
    Bitboard pawns = pos.pieces[us][PAWN];
    for (Bitboard b = candidates_[us]; b;) {
        int sq = pop_lsb(b);
        int r = relative_rank(us, sq);
        Bitboard ahead = front_span(us, square_bb(sq));
        if (r < 3 || (ahead & occ_)) continue;
        int opposition = popcount(ahead & st_.attacks[them][0]) + ((ahead & st_.attacked_twice[them]) != 0);
        if (opposition > popcount(pawns & sideways(square_bb(sq)))) continue;
        int before_queening = make_square(file_of(sq), us == WHITE ? 6 : 1);
        int d = std::min(square_distance(pos.kingSq[them], before_queening), 5);
        add(us, CAT_PPAWNS, h_.ppawn_candidate, NEAR[d] * CANDW[r]);
    }
}

template <bool Trace>
void HceRun<Trace>::threats(int us) {
    int them = us ^ 1;
    const Position& pos = pos_;
    const Bitboard* mine = st_.attacks[us];
    const Bitboard* theirs = st_.attacks[them];
    Bitboard wins = (st_.attacked_twice[them] & ~mine[PAWN] & ~st_.attacked_twice[us]) | (theirs[0] & ~mine[0]);

    Bitboard pawns = pos.pieces[us][PAWN] & theirs[0] & ~mine[PAWN] & ~theirs[PAWN];
    Bitboard hung_pawns = pawns & wins;
    if (hung_pawns) add(us, CAT_THREATS, h_.hung_pawn, float(popcount(hung_pawns)));
    if (pawns & ~wins) add(us, CAT_THREATS, h_.attacked_pawn, float(popcount(pawns & ~wins)));

    Bitboard minors = (pos.pieces[us][KNIGHT] | pos.pieces[us][BISHOP]) & theirs[0];
    Bitboard hung_minors = minors & (theirs[PAWN] | wins);
    Bitboard attacked_minors = minors & ~wins & ~mine[PAWN];
    if (hung_minors) add(us, CAT_THREATS, h_.hung_minor, float(popcount(hung_minors)));
    if (attacked_minors) add(us, CAT_THREATS, h_.attacked_minor, float(popcount(attacked_minors)));

    Bitboard majors =
        (pos.pieces[us][ROOK] | pos.pieces[us][QUEEN]) & (theirs[PAWN] | theirs[KNIGHT] | theirs[BISHOP]);
    if (majors) add(us, CAT_THREATS, h_.hung_major, float(popcount(majors)));
    st_.hung_pieces |= hung_pawns | hung_minors | majors;

    Bitboard empty = ~occ_;
    Bitboard single = forward(them, pos.pieces[them][PAWN]) & empty;
    Bitboard double_rank = them == WHITE ? rank_bb(2) : rank_bb(5);
    Bitboard pushes = single | (forward(them, single & double_rank) & empty);
    pushes &= ~mine[PAWN] & (~mine[0] | theirs[PAWN]);
    Bitboard targets = pos.pieces[us][0] & ~pos.pieces[us][PAWN] & ~st_.hung_pieces;
    if (Bitboard threatened = pawn_attack_set(them, pushes) & targets)
        add(us, CAT_THREATS, h_.ppush_threat, float(popcount(threatened)));

    if (Bitboard pinned = pinned_pieces(pos, us) & ~pos.pieces[us][PAWN])
        add(us, CAT_THREATS, h_.pinned_piece, float(popcount(pinned)));
}

template <bool Trace>
int HceRun<Trace>::run() {
    setup();
    pawn_structure();
    for (int us = 0; us < 2; us++) knights(us);
    for (int us = 0; us < 2; us++) bishops(us);
    for (int us = 0; us < 2; us++) rooks(us);
    for (int us = 0; us < 2; us++) queens(us);
    for (int us = 0; us < 2; us++) {
        king(us);
        passed_pawns(us);
        candidate_pawns(us);
        threats(us);
    }
    int stm = pos_.side;
    add(stm, CAT_SPECIAL, h_.stm_bonus);

    for (int us = 0; us < 2; us++) {
        st_.total[us] = 0;
        for (int c = 0; c < CAT_COUNT; c++) st_.total[us] += term_[us][c];
    }
    if (st_.eval_trace) memcpy(st_.term_totals, term_, sizeof term_);

    Score d = st_.total[stm] - st_.total[stm ^ 1];
    double phase = st_.phase;
    int score = int((1 - phase) * eg_of(d) + phase * mg_of(d));
    float factor = endgame_scale(pos_, stm == WHITE ? score : -score);
    if constexpr (Trace) {
        trace_->phase = st_.phase;
        trace_->scale = factor;
    }
    return int(factor * float(score));
}

}  // namespace

uint64_t pawn_cache_key(const Position& pos) {
    uint64_t key = pos.pawnKey;
    if (file_of(pos.kingSq[WHITE]) <= 3) key ^= 0x6c43eb52aull;
    if (file_of(pos.kingSq[BLACK]) <= 3) key ^= 0x3e2571cb4ull;
    return key;
}

Bitboard pinned_pieces(const Position& pos, int side) {
    int them = side ^ 1;
    Bitboard occ = pos.occupied();
    Bitboard own = pos.pieces[side][0];
    Bitboard diagonal = pos.pieces[them][BISHOP], line = pos.pieces[them][ROOK], queens = pos.pieces[them][QUEEN];
    auto shielding = [&](int target, Bitboard snipers) {
        Bitboard pinned = 0;
        while (snipers) {
            Bitboard between = Between[target][pop_lsb(snipers)] & occ;
            if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
        }
        return pinned;
    };
    int king = pos.kingSq[side];
    Bitboard pinned = shielding(king, (BishopFull[king] & (diagonal | queens)) | (RookFull[king] & (line | queens)));
    if (Bitboard own_queens = pos.pieces[side][QUEEN]) {
        int queen = lsb(own_queens);
        pinned |= shielding(queen, (BishopFull[queen] & diagonal) | (RookFull[queen] & line));
    }
    return pinned;
}

int hce_evaluate(EvalState& es, const Position& pos) { return HceRun<false>(es, pos, nullptr).run(); }

int hce_trace(EvalState& es, const Position& pos, HceTrace& trace) {
    memset(&trace, 0, sizeof trace);
    return HceRun<true>(es, pos, &trace).run();
}
