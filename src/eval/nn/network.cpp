#include "eval/nn/network.h"

#include <cstdlib>
#include <cstring>

Network network;

int64_t network_weight_count(const NetworkHeader& h) {
    const int64_t H = h.sizes[SIZE_ACC_WHITE], H2 = h.sizes[SIZE_ACC_BLACK];
    const int64_t M = h.sizes[SIZE_MATERIAL], N = h.sizes[SIZE_HIDDEN];
    const int64_t B = h.input_buckets;
    if (H <= 0 || H != H2 || H % 16 != 0 || M < 0 || N < 0) return -1;
    if (B < 1 || B > 2 || h.weight_scale < 1) return -1;
    const int64_t K = N > 0 ? N : NET_OUTPUT_BUCKETS;
    return B * NET_FEATURES * H + NET_MATERIAL_INPUTS * M + (H + H2 + M) + K * (H + H2 + M) +
           (N > 0 ? N + NET_OUTPUT_BUCKETS * N : 0);
}

static void point_blocks(Network& net) {
    const NetworkHeader& h = net.header;
    const int H = h.sizes[SIZE_ACC_WHITE], H2 = h.sizes[SIZE_ACC_BLACK];
    const int M = h.sizes[SIZE_MATERIAL], N = h.sizes[SIZE_HIDDEN];
    const int K = N > 0 ? N : NET_OUTPUT_BUCKETS;
    int16_t* p = net.weights;
    auto take = [&p](int64_t n) {
        int16_t* block = p;
        p += n;
        return block;
    };
    net.feature_weights = take(int64_t(h.input_buckets) * NET_FEATURES * H);
    net.material_weights = take(int64_t(M) * NET_MATERIAL_INPUTS);
    net.bias_white = take(H);
    net.bias_black = take(H2);
    net.bias_material = take(M);
    net.outputs[OUT_OWN] = take(int64_t(K) * H);
    net.outputs[OUT_OTHER] = take(int64_t(K) * H2);
    net.outputs[OUT_MATERIAL] = take(int64_t(K) * M);
    net.bias_hidden = take(N);
    net.outputs[OUT_FINAL] = take(int64_t(NET_OUTPUT_BUCKETS) * N);
}

int network_allocate(Network& net, const NetworkHeader& h) {
    const int64_t count = network_weight_count(h);
    if (count < 0 || count > INT32_MAX) return -1;
    // Rounded up to whole 32-byte vectors so the array can be aligned for them.
    size_t bytes = (size_t(count) * sizeof(int16_t) + 63) & ~size_t(63);
    auto* weights = static_cast<int16_t*>(std::aligned_alloc(64, bytes ? bytes : 64));
    if (!weights) return -1;
    memset(weights, 0, bytes);
    net = Network{};
    net.header = h;
    net.weight_count = int32_t(count);
    net.weights = weights;
    point_blocks(net);
    return 0;
}

void network_free(Network& net) {
    std::free(net.weights);
    // The generation survives, so a later install can never repeat an old one.
    const uint32_t generation = net.generation;
    net = Network{};
    net.generation = generation;
}

void network_install(Network& fresh) {
    const uint32_t generation = network.generation + 1;
    network_free(network);
    network = fresh;
    network.generation = generation;
    fresh = Network{};
}

int16_t weight_from_stored(int stored, int weight_scale) {
    const float v = float(stored) * (1024.0f / float(weight_scale));
    const int w = v >= 0 ? int(v + 0.5f) : int(v - 0.5f);
    return int16_t(uint16_t(w));  // keeps the low 16 bits
}

int weight_to_stored(int internal, int weight_scale) {
    const double v = double(internal) * weight_scale / NET_ONE;
    int s = v >= 0 ? int(v + 0.5) : int(v - 0.5);
    if (s > weight_scale) s = weight_scale;
    if (s < -weight_scale) s = -weight_scale;
    return s;
}
