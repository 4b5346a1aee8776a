#include "eval/nn/infer.h"

#include <algorithm>
#include <cstring>

#include "eval/nn/kernels.h"
#include "core/io.h"

namespace {

constexpr float OUTPUT_UNIT = 9.5367431640625e-07f;  // 2^-20
constexpr int MAX_SCORE = 3000;

int16_t leaky(int x) { return int16_t(x < 0 ? (x + 63) >> 6 : x); }

// Material-count nodes: side to move's pawns .. queens, then the other side's.
void material_layer(NNState& st, const Network& net, int side) {
    const int M = net.material_nodes();
    int counts[NET_MATERIAL_INPUTS];
    for (int k = 0; k < 5; k++) {
        counts[k] = st.piece_counts[2 * k + side];
        counts[5 + k] = st.piece_counts[2 * k + (side ^ 1)];
    }
    for (int j = 0; j < M; j++) {
        const int16_t* w = net.material_weights + j * NET_MATERIAL_INPUTS;
        int m = net.bias_material[j];
        for (int k = 0; k < NET_MATERIAL_INPUTS; k++) m += w[k] * counts[k];
        st.acc_material[j] = leaky(int16_t(uint16_t(m)));  // 16-bit wrap
    }
}

template <class V>
float hidden_layer(NNState& st, const Network& net, const int16_t* own, const int16_t* other) {
    const int H = net.acc_size_white(), M = net.material_nodes(), N = net.hidden_size();
    for (int j = 0; j < N; j++) {
        int h = net.bias_hidden[j] + nn_kernels::dot<V>(own, net.out_own() + j * H, H) / NET_ONE +
                nn_kernels::dot<V>(other, net.out_other() + j * H, H) / NET_ONE +
                nn_kernels::dot<V>(st.acc_material, net.out_material() + j * M, M) / NET_ONE;
        st.hidden_values[j] = leaky(std::clamp(h, -32000, 32000));
    }
    return float(nn_kernels::dot<V>(st.hidden_values, net.final_weights() + st.output_bucket * N, N));
}

void remember_position(AccumulatorCache& c, const FeatureView& view, const Position& pos, int16_t ply) {
    memcpy(c.pieces, pos.pieces, sizeof c.pieces);
    c.occupied = pos.occupied();
    c.ply = ply;
    c.mirror_white = view.mirror_white;
    c.flip_black = view.flip_black;
    c.bucket_white = view.bucket_white;
    c.bucket_black = view.bucket_black;
}

template <class V>
int evaluate_with(NNState& st, const Position& pos) {
    const Network& net = network;
    if (!net.weights || nn_prepare_state(st) != 0) {
        print_line("error initializing NN!");
        return -10001;
    }
    nn_count_material(st, pos);
    st.output_bucket = nn_output_bucket(net.header.output_bucket_mode, st.mat_white, st.mat_black,
                                        st.piece_counts[0] + st.piece_counts[1]);
    const FeatureView view = nn_feature_view(net.header, pos, st.mat_white, st.mat_black);

    AccumulatorPlan plan;
    AccumulatorCache& cache = st.cache;
    const int16_t *base_white = net.bias_white, *base_black = net.bias_black;
    if (nn_can_update(st, view, pos)) {
        plan_update(plan, view, cache, pos);
        base_white = cache.saved_white;
        base_black = cache.saved_black;
    } else {
        plan_rebuild(plan, view, pos);
    }

    // Without a hidden layer the output rows' dot products ride along with the accumulation.
    const int H = net.acc_size_white(), N = net.hidden_size(), M = net.material_nodes();
    const int side = pos.side;
    const int16_t *out_white = nullptr, *out_black = nullptr;
    if (N == 0) {
        const int16_t* own_row = net.out_own() + st.output_bucket * H;
        const int16_t* other_row = net.out_other() + st.output_bucket * H;
        out_white = side == WHITE ? own_row : other_row;
        out_black = side == WHITE ? other_row : own_row;
    }
    const int32_t dot_white =
        nn_kernels::accumulate<V>(base_white, plan.white, H, cache.saved_white, st.acc_white, out_white);
    const int32_t dot_black =
        nn_kernels::accumulate<V>(base_black, plan.black, H, cache.saved_black, st.acc_black, out_black);
    remember_position(cache, view, pos, st.eval_ply);

    if (M > 0) material_layer(st, net, side);
    float y;
    if (N == 0) {
        const int32_t dot_material =
            nn_kernels::dot<V>(st.acc_material, net.out_material() + st.output_bucket * M, M);
        y = float(side == WHITE ? dot_white : dot_black);
        y += float(side == WHITE ? dot_black : dot_white);
        y += float(dot_material);
    } else {
        y = side == WHITE ? hidden_layer<V>(st, net, st.acc_white, st.acc_black)
                          : hidden_layer<V>(st, net, st.acc_black, st.acc_white);
    }
    st.raw_output = y * OUTPUT_UNIT;
    const float scaled = st.raw_output * float(net.header.output_scale);
    const int score = int(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
    return std::clamp(score, -MAX_SCORE, MAX_SCORE);
}

}  // namespace

int nn_evaluate(NNState& st, const Position& pos) { return evaluate_with<simd::Native>(st, pos); }

int nn_evaluate_scalar(NNState& st, const Position& pos) { return evaluate_with<simd::Scalar>(st, pos); }
