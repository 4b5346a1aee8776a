#include "eval/nn/accumulator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

void nn_count_material(NNState& st, const Position& pos) {
    int units[2];
    for (int c = WHITE; c <= BLACK; c++) {
        const uint32_t m = pos.material[c];
        for (int t = PAWN; t <= QUEEN; t++) st.piece_counts[(t - 1) * 2 + c] = uint16_t(material_count(m, t));
        units[c] = 3 * (material_count(m, KNIGHT) + material_count(m, BISHOP)) + 5 * material_count(m, ROOK);
        // A queen without minor pieces or rooks beside it is worth less.
        units[c] += (units[c] ? 10 : 6) * material_count(m, QUEEN);
    }
    st.mat_white = int16_t(units[WHITE]);
    st.mat_black = int16_t(units[BLACK]);
}

int nn_output_bucket(int mode, int mat_white, int mat_black, int pawns) {
    if (mode == 6) {
        const int x = int(float((mat_white + mat_black) * 0.1) + 0.5f);
        return 5 - std::min(5, x);
    }
    if (mode == 8) {
        const int x = int(std::round((mat_white + mat_black + pawns - 6) * 0.1));
        return std::clamp(x, 0, 7);
    }
    return 0;
}

FeatureView nn_feature_view(const NetworkHeader& h, const Position& pos, int mat_white, int mat_black) {
    FeatureView v;
    // Each side's view has its own king on files e-h.
    v.mirror_white = (pos.kingSq[WHITE] & 4) ? 0 : 7;
    v.flip_black = (pos.kingSq[BLACK] & 4) ? 56 : 63;
    bool white_second = false, black_second = false;
    if (h.input_buckets >= 2) {
        if (h.version <= 800) {
            white_second = pos.kingSq[WHITE] > 23;
            black_second = 7 - rank_of(pos.kingSq[BLACK]) > 2;
        } else if (h.version <= 805) {
            white_second = black_second = mat_white + mat_black < 21;
        } else {
            white_second = black_second = std::max(mat_white, mat_black) < 10;
        }
    }
    v.bucket_white = white_second ? NET_FEATURES : 0;
    v.bucket_black = black_second ? NET_FEATURES : 0;
    return v;
}

bool nn_can_update(const NNState& st, const FeatureView& view, const Position& pos) {
    const AccumulatorCache& c = st.cache;
    return c.mirror_white == view.mirror_white && c.flip_black == view.flip_black &&
           c.bucket_white == view.bucket_white && c.bucket_black == view.bucket_black &&
           popcount(c.pieces[WHITE][0] ^ pos.pieces[WHITE][0]) <= 7 &&
           popcount(c.pieces[BLACK][0] ^ pos.pieces[BLACK][0]) <= 7 && st.eval_ply > 2;
}

static void push_pieces(AccumulatorPlan& plan, const FeatureView& view, int color, int type, Bitboard squares,
                        bool subtract) {
    const int16_t* features = network.feature_weights;
    const size_t stride = size_t(network.acc_size_white());
    while (squares) {
        const int sq = pop_lsb(squares);
        RowOps& w = plan.white;
        RowOps& b = plan.black;
        w.rows[w.count] = features + size_t(white_feature(view, color, type, sq)) * stride;
        w.subtract[w.count++] = subtract;
        b.rows[b.count] = features + size_t(black_feature(view, color, type, sq)) * stride;
        b.subtract[b.count++] = subtract;
    }
}

void plan_rebuild(AccumulatorPlan& plan, const FeatureView& view, const Position& pos) {
    plan.white.count = plan.black.count = 0;
    for (int t = PAWN; t <= KING; t++)
        for (int c = WHITE; c <= BLACK; c++) push_pieces(plan, view, c, t, pos.pieces[c][t], false);
}

void plan_update(AccumulatorPlan& plan, const FeatureView& view, const AccumulatorCache& cache, const Position& pos) {
    plan.white.count = plan.black.count = 0;
    for (int t = PAWN; t <= KING; t++)
        for (int c = WHITE; c <= BLACK; c++) {
            const Bitboard before = cache.pieces[c][t], now = pos.pieces[c][t];
            push_pieces(plan, view, c, t, before & ~now, true);
            push_pieces(plan, view, c, t, now & ~before, false);
        }
}

// Whole 16-value vectors, so every buffer starts 32-byte aligned.
static size_t padded(int n) { return (size_t(n) + 15) & ~size_t(15); }

int nn_prepare_state(NNState& st) {
    const Network& net = network;
    if (st.memory && st.generation == net.generation) return 0;
    const bool same_sizes = st.memory && memcmp(st.sizes, net.header.sizes, sizeof st.sizes) == 0;
    if (!same_sizes) {
        nn_state_free(st);
        const int H = net.acc_size_white(), H2 = net.acc_size_black();
        const int M = net.material_nodes(), N = net.hidden_size();
        const size_t bytes = 2 * (2 * padded(H) + 2 * padded(H2) + padded(M) + padded(N));
        auto* p = static_cast<int16_t*>(std::aligned_alloc(64, (bytes + 63) & ~size_t(63)));
        if (!p) return -1;
        memset(p, 0, bytes);
        st.memory = p;
        auto take = [&p](int n) {
            int16_t* buffer = n ? p : nullptr;
            p += padded(n);
            return buffer;
        };
        st.acc_white = take(H);
        st.acc_black = take(H2);
        st.acc_material = take(M);
        st.hidden_values = take(N);
        st.cache.saved_white = take(H);
        st.cache.saved_black = take(H2);
        memcpy(st.sizes, net.header.sizes, sizeof st.sizes);
    }
    // Accumulators of another network are worthless even when the sizes agree.
    AccumulatorCache& c = st.cache;
    memset(c.pieces, 0, sizeof c.pieces);
    c.occupied = 0;
    c.ply = 0;
    c.mirror_white = c.flip_black = 0;
    c.bucket_white = c.bucket_black = 0;
    st.generation = net.generation;
    return 0;
}

void nn_state_free(NNState& st) {
    std::free(st.memory);
    st.memory = nullptr;
    st.acc_white = st.acc_black = st.acc_material = st.hidden_values = nullptr;
    st.cache.saved_white = st.cache.saved_black = nullptr;
    memset(st.sizes, 0, sizeof st.sizes);
}
