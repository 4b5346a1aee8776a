#include "tools/prune_net.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/io.h"
#include "core/settings.h"
#include "eval/nn/infer.h"
#include "eval/nn/network_file.h"
#include "tools/records.h"

namespace {

constexpr const char* PRUNE_TRAINING_FILE = "/chess/trainingdata/train_1.bin";
constexpr const char* PRUNED_FILE = "pruned.bin";

// Per perspective and neuron: the summed square of its contribution to the output.
struct NeuronStats {
    double* share[2] = {nullptr, nullptr};
    ~NeuronStats() {
        free(share[0]);
        free(share[1]);
    }
};

bool can_prune(const Network& net) {
    if (net.acc_size_white() <= PRUNED_NEURONS) {
        printf("the network has %d neurons, not more than %d: nothing to prune\n", net.acc_size_white(), PRUNED_NEURONS);
        return false;
    }
    if (net.material_nodes() || net.hidden_size()) {
        printf("only networks without material nodes and hidden layer can be pruned\n");
        return false;
    }
    return true;
}

void collect(NeuronStats& stats, const Network& net) {
    const int H = net.acc_size_white();
    stats.share[0] = static_cast<double*>(calloc(size_t(H), sizeof(double)));
    stats.share[1] = static_cast<double*>(calloc(size_t(H), sizeof(double)));
    if (!stats.share[0] || !stats.share[1]) {
        print_line("alloc for stats failed");
        return;
    }
    NNState nn{};
    visit_accepted_records([&](const Position& pos, float) {
        nn.eval_ply = 0;  // unrelated positions: rebuild the accumulators every time
        if (nn_evaluate(nn, pos) == -10001) return;
        for (int p = WHITE; p <= BLACK; p++) {
            const int16_t* acc = p == WHITE ? nn.acc_white : nn.acc_black;
            const int16_t* weight = p == pos.side ? net.out_own() : net.out_other();
            for (int k = 0; k < H; k++) {
                const double x = double(acc[k]) * weight[k];
                stats.share[p][k] += x * x * 0.000001;
            }
        }
    });
    nn_state_free(nn);
}

// The strongest neurons, strongest first; the first of equals wins. Each is
// taken once, so neurons that never fire cannot stand in for a second copy.
std::vector<int> choose_neurons(const NeuronStats& stats, int H) {
    std::vector<double> value(size_t(H), 0.0);
    if (stats.share[0] && stats.share[1])
        for (int k = 0; k < H; k++) value[k] = (stats.share[0][k] + stats.share[1][k]) / 2;
    std::vector<bool> taken(size_t(H), false);
    std::vector<int> chosen;
    for (int j = 0; j < PRUNED_NEURONS; j++) {
        int best = -1;
        for (int k = 0; k < H; k++)
            if (!taken[k] && (best < 0 || value[k] > value[best])) best = k;
        taken[best] = true;
        chosen.push_back(best);
    }
    return chosen;
}

// The network of the chosen neurons, written at the file scale of the loaded one.
void write_pruned(const Network& net, const std::vector<int>& chosen) {
    NetworkHeader h = net.header;
    h.sizes[SIZE_ACC_WHITE] = h.sizes[SIZE_ACC_BLACK] = int16_t(PRUNED_NEURONS);
    Network pruned;
    if (network_allocate(pruned, h) != 0) return;
    const int H = net.acc_size_white(), rows = h.input_buckets * NET_FEATURES;
    for (int j = 0; j < PRUNED_NEURONS; j++) {
        const int k = chosen[j];
        for (int r = 0; r < rows; r++) pruned.feature_weights[r * PRUNED_NEURONS + j] = net.feature_weights[r * H + k];
        pruned.bias_white[j] = net.bias_white[k];
        pruned.bias_black[j] = net.bias_black[k];
        for (int out : {OUT_OWN, OUT_OTHER})
            for (int r = 0; r < NET_OUTPUT_BUCKETS; r++)
                pruned.outputs[out][r * PRUNED_NEURONS + j] = net.outputs[out][r * H + k];
    }
    save_network(PRUNED_FILE, h, pruned.weights);
    network_free(pruned);
}

}  // namespace

void prune_network() {
    const Network& net = network;
    if (!can_prune(net)) return;
    const char* name = training_file_or(PRUNE_TRAINING_FILE);
    printf("%s\n", name);
    if (read_training_file(name) != 0) {
        training_set_free();
        return;
    }
    print_line("Collecting stats ...\n");
    NeuronStats stats;
    collect(stats, net);
    training_set_free();
    print_line("Writing pruned net to pruned.bin ...\n");
    write_pruned(net, choose_neurons(stats, net.acc_size_white()));
}
