#include "tools/trainer/train_net.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "eval/nn/accumulator.h"
#include "eval/nn/network_file.h"
#include "tools/trainer/train_kernels.h"

namespace {

using V = simd::Native;

// Small feature rows: a row is trained only when its feature occurs, and
// rare features (a king far up the board) would otherwise carry large random
// values into every position they appear in. Larger starts (0.1, 0.3) gave
// clearly worse validation losses.
const float FEATURE_START_LIMIT = 1.0f / std::sqrt(float(NET_FEATURES));

// Every shape the trainer can train has these blocks only.
bool trainable(const NetworkHeader& h) {
    return network_weight_count(h) > 0 && h.sizes[SIZE_MATERIAL] == 0 && h.sizes[SIZE_HIDDEN] == 0;
}

void set_offsets(TrainNet& net, const NetworkHeader& h) {
    net.header = h;
    net.H = h.sizes[SIZE_ACC_WHITE];
    const size_t H = size_t(net.H);
    net.bias_white = size_t(h.input_buckets) * NET_FEATURES * H;
    net.bias_black = net.bias_white + H;
    net.out_own = net.bias_black + H;
    net.out_other = net.out_own + NET_OUTPUT_BUCKETS * H;
    net.params.assign(size_t(network_weight_count(h)), 0.0f);
}

// Uniform in (-limit, limit) from the generator's raw 32 bits, the same on every platform.
float uniform(std::mt19937& rng, float limit) { return (float(rng()) * (2.0f / 4294967296.0f) - 1.0f) * limit; }

// Rows of one accumulator's features; the bias is the base.
int gather_rows(const TrainSample& s, const uint16_t* features, const float* weights, int H, const float** rows) {
    for (int k = 0; k < s.count; k++) rows[k] = weights + size_t(features[k]) * H;
    return s.count;
}

// Forward pass into the scratch buffers; returns the output.
float forward(const TrainNet& net, const TrainSample& s, TrainScratch& sc) {
    const int H = net.H;
    const float* p = net.params.data();
    const float* rows[32];
    gather_rows(s, s.white, p, H, rows);
    train_kernels::accumulate<V>(sc.acc[WHITE].data(), p + net.bias_white, rows, s.count, H);
    gather_rows(s, s.black, p, H, rows);
    train_kernels::accumulate<V>(sc.acc[BLACK].data(), p + net.bias_black, rows, s.count, H);
    const int own = s.side, other = s.side ^ 1;
    const float* own_row = p + net.out_own + size_t(s.bucket) * H;
    const float* other_row = p + net.out_other + size_t(s.bucket) * H;
    const float y_own = train_kernels::activate_dot<V>(sc.acc[own].data(), sc.act[own].data(), own_row, H);
    const float y_other = train_kernels::activate_dot<V>(sc.acc[other].data(), sc.act[other].data(), other_row, H);
    return y_own + y_other;
}

}  // namespace

void make_sample(const NetworkHeader& h, const Position& pos, float target, TrainSample& s) {
    NNState counts{};
    nn_count_material(counts, pos);
    const int pawns = counts.piece_counts[0] + counts.piece_counts[1];
    s.bucket = uint8_t(nn_output_bucket(h.output_bucket_mode, counts.mat_white, counts.mat_black, pawns));
    const FeatureView view = nn_feature_view(h, pos, counts.mat_white, counts.mat_black);
    int n = 0;
    for (int type = PAWN; type <= KING; type++)
        for (int color = WHITE; color <= BLACK; color++)
            for (Bitboard b = pos.pieces[color][type]; b && n < 32; n++) {
                const int sq = pop_lsb(b);
                s.white[n] = uint16_t(white_feature(view, color, type, sq));
                s.black[n] = uint16_t(black_feature(view, color, type, sq));
            }
    s.count = uint8_t(n);
    s.side = pos.side;
    s.target = target;
}

NetworkHeader trainer_header(int hidden, int input_buckets) {
    NetworkHeader h = DEFAULT_NETWORK_HEADER;
    h.input_buckets = int16_t(input_buckets);
    h.sizes[SIZE_ACC_WHITE] = h.sizes[SIZE_ACC_BLACK] = int16_t(hidden);
    return h;
}

int train_net_create(TrainNet& net, const NetworkHeader& h, uint32_t seed) {
    if (!trainable(h)) return -1;
    set_offsets(net, h);
    std::mt19937 rng(seed);
    const float output_limit = 1.0f / float(net.H);
    float* p = net.params.data();
    for (size_t i = 0; i < net.bias_white; i++) p[i] = uniform(rng, FEATURE_START_LIMIT);
    for (size_t i = net.out_own; i < net.params.size(); i++) p[i] = uniform(rng, output_limit);
    return 0;
}

int train_net_grow(TrainNet& net, int hidden, int input_buckets, uint32_t seed) {
    const NetworkHeader& old = net.header;
    NetworkHeader h = old;
    h.input_buckets = int16_t(input_buckets);
    h.sizes[SIZE_ACC_WHITE] = h.sizes[SIZE_ACC_BLACK] = int16_t(hidden);
    if (hidden < net.H || input_buckets < old.input_buckets || !trainable(h)) return -1;
    TrainNet grown;
    set_offsets(grown, h);
    std::mt19937 rng(seed);
    const size_t H = size_t(net.H), G = size_t(grown.H);
    // Row r of a block of rows of H values becomes the first H values of row r of G values.
    auto widen = [&](size_t from, size_t to, size_t rows) {
        for (size_t r = 0; r < rows; r++)
            std::copy_n(net.params.begin() + ptrdiff_t(from + r * H), H, grown.params.begin() + ptrdiff_t(to + r * G));
    };
    for (int b = 0; b < input_buckets; b++) {
        const size_t to = size_t(b) * NET_FEATURES * G;
        for (size_t i = to; i < to + NET_FEATURES * G; i++) grown.params[i] = uniform(rng, FEATURE_START_LIMIT);
        widen(size_t(std::min(b, old.input_buckets - 1)) * NET_FEATURES * H, to, NET_FEATURES);
    }
    widen(net.bias_white, grown.bias_white, 1);
    widen(net.bias_black, grown.bias_black, 1);
    widen(net.out_own, grown.out_own, NET_OUTPUT_BUCKETS);
    widen(net.out_other, grown.out_other, NET_OUTPUT_BUCKETS);
    net = std::move(grown);
    return 0;
}

int train_net_from_network(TrainNet& net, const Network& source) {
    if (!source.weights || !trainable(source.header)) return -1;
    set_offsets(net, source.header);
    for (size_t i = 0; i < net.params.size(); i++) net.params[i] = float(source.weights[i]) / NET_ONE;
    return 0;
}

void train_net_quantize(const TrainNet& net, std::vector<int16_t>& weights) {
    weights.resize(net.params.size());
    for (size_t i = 0; i < weights.size(); i++) {
        const float v = std::clamp(net.params[i], -1.0f, 1.0f) * NET_ONE;
        weights[i] = int16_t(v >= 0 ? int(v + 0.5f) : int(v - 0.5f));
    }
}

void train_net_snap(TrainNet& net) {
    std::vector<int16_t> weights;
    train_net_quantize(net, weights);
    for (size_t i = 0; i < weights.size(); i++) net.params[i] = float(weights[i]) / NET_ONE;
}

int train_net_save(const TrainNet& net, const char* path) {
    std::vector<int16_t> weights;
    train_net_quantize(net, weights);
    return save_network(path, net.header, weights.data());
}

int train_net_install(const TrainNet& net) {
    std::vector<int16_t> weights;
    train_net_quantize(net, weights);
    Network fresh{};
    if (network_allocate(fresh, net.header) != 0) return -1;
    std::copy(weights.begin(), weights.end(), fresh.weights);
    network_install(fresh);
    return 0;
}

TrainScratch::TrainScratch(int H) {
    for (int c = 0; c < 2; c++) acc[c].assign(size_t(H), 0), act[c].assign(size_t(H), 0), d_acc[c].assign(size_t(H), 0);
}

float train_net_output(const TrainNet& net, const TrainSample& s, TrainScratch& scratch) {
    return forward(net, s, scratch);
}

int train_net_score(const TrainNet& net, const TrainSample& s, TrainScratch& scratch) {
    const float scaled = forward(net, s, scratch) * float(net.header.output_scale);
    const int score = int(scaled >= 0 ? scaled + 0.5f : scaled - 0.5f);
    return std::clamp(score, -3000, 3000);
}

float train_net_probability(const TrainNet& net, float output) {
    return 1.0f / (1.0f + std::exp(-0.005f * float(net.header.output_scale) * output));
}

float train_net_backward(const TrainNet& net, const TrainSample& s, TrainScratch& sc, float* grad) {
    const int H = net.H;
    const float* p = net.params.data();
    const float y = forward(net, s, sc);
    const float k = 0.005f * float(net.header.output_scale);
    const float prob = train_net_probability(net, y);
    const float error = prob - s.target;
    const float dy = 2.0f * error * prob * (1.0f - prob) * k;

    const int own = s.side, other = s.side ^ 1;
    const size_t row = size_t(s.bucket) * H;
    train_kernels::backward_output<V>(sc.acc[own].data(), sc.act[own].data(), p + net.out_own + row, dy,
                                      sc.d_acc[own].data(), grad + net.out_own + row, H);
    train_kernels::backward_output<V>(sc.acc[other].data(), sc.act[other].data(), p + net.out_other + row, dy,
                                      sc.d_acc[other].data(), grad + net.out_other + row, H);

    float* rows[33];
    for (int k2 = 0; k2 < s.count; k2++) rows[k2] = grad + size_t(s.white[k2]) * H;
    rows[s.count] = grad + net.bias_white;
    train_kernels::scatter<V>(rows, s.count + 1, sc.d_acc[WHITE].data(), H);
    for (int k2 = 0; k2 < s.count; k2++) rows[k2] = grad + size_t(s.black[k2]) * H;
    rows[s.count] = grad + net.bias_black;
    train_kernels::scatter<V>(rows, s.count + 1, sc.d_acc[BLACK].data(), H);
    return error * error;
}
