#include "eval/nn/placeholder_net.h"

#include <algorithm>
#include <cmath>

#include "board/types.h"
#include "eval/nn/network_file.h"

namespace {

// Neurons 0-3 of each perspective sum the value of that side's own pieces,
// 4-7 the other side's, each a quarter of the value so no weight passes 1.0;
// neuron 8 is a constant that gives the side to move a small bonus.
constexpr int OWN_FIRST = 0, OTHER_FIRST = 4, SPREAD = 4, TEMPO = 8;
constexpr int BIAS = 256;         // keeps the value sums positive, clear of the leaky slope
constexpr int TEMPO_WEIGHT = 51;  // 200 * 1024 * 51 / 2^20: about 10 centipawns

constexpr int PIECE_VALUE[7] = {0, 100, 320, 330, 500, 950, 0};
constexpr int PAWN_RANK[2][8] = {{0, 0, 3, 8, 15, 25, 45, 0}, {0, 0, 8, 18, 32, 55, 90, 0}};

// Centipawns of a piece of `type` on (file, rank) seen from its own side;
// phase 0 with much material on the board, 1 in endings.
int piece_square_value(int type, int file, int rank, int phase) {
    const int centre = std::max(3 - file, file - 4) + std::max(3 - rank, rank - 4);
    int bonus = 0;
    switch (type) {
        case PAWN:
            bonus = PAWN_RANK[phase][rank] + (phase == 0 && centre == 0 ? 10 : 0);
            break;
        case KNIGHT: bonus = phase == 0 ? 20 - 8 * centre : 12 - 6 * centre; break;
        case BISHOP: bonus = phase == 0 ? 10 - 4 * centre : -3 * centre; break;
        case ROOK: bonus = phase == 0 && rank == 6 ? 15 : 0; break;
        case QUEEN: bonus = phase == 0 ? -2 * centre : 0; break;
        case KING: bonus = phase == 0 ? -20 * std::min(rank, 3) : 24 - 8 * centre; break;
    }
    return PIECE_VALUE[type] + bonus;
}

// Per-neuron weight: four neurons together make 0.390625 score units per unit
// (2 perspectives * 1024 * 200 / 2^20), so a centipawn is 0.64 units each.
int16_t neuron_weight(int centipawns) { return int16_t(std::lround(centipawns * 0.64)); }

}  // namespace

void build_placeholder_network(Network& net) {
    const int H = net.acc_size_white();
    for (int bucket = 0; bucket < net.header.input_buckets; bucket++)
        for (int type = PAWN; type <= KING; type++)
            for (int sq = 0; sq < 64; sq++) {
                const int file = file_of(sq), rank = rank_of(sq);
                const int base = bucket * NET_FEATURES + (type - 1) * 64 + sq;
                // Squares are seen from the perspective's own side, so the other
                // side's pieces stand on ranks counted from the far end.
                const int16_t own = neuron_weight(piece_square_value(type, file, rank, bucket));
                const int16_t other = neuron_weight(piece_square_value(type, file, 7 - rank, bucket));
                int16_t* own_row = net.feature_weights + size_t(base) * H;
                int16_t* other_row = net.feature_weights + size_t(base + 384) * H;
                std::fill_n(own_row + OWN_FIRST, SPREAD, own);
                std::fill_n(other_row + OTHER_FIRST, SPREAD, other);
            }
    for (int16_t* bias : {net.bias_white, net.bias_black}) {
        std::fill_n(bias, OTHER_FIRST + SPREAD, int16_t(BIAS));
        bias[TEMPO] = NET_ONE;
    }
    for (int b = 0; b < NET_OUTPUT_BUCKETS; b++) {
        int16_t* own = net.outputs[OUT_OWN] + b * H;
        int16_t* other = net.outputs[OUT_OTHER] + b * H;
        std::fill_n(own + OWN_FIRST, SPREAD, int16_t(NET_ONE));
        std::fill_n(own + OTHER_FIRST, SPREAD, int16_t(-NET_ONE));
        std::fill_n(other + OWN_FIRST, SPREAD, int16_t(-NET_ONE));
        std::fill_n(other + OTHER_FIRST, SPREAD, int16_t(NET_ONE));
        own[TEMPO] = TEMPO_WEIGHT;
    }
}

int write_placeholder_network(const char* path) {
    Network net{};
    if (network_allocate(net, PLACEHOLDER_HEADER) != 0) return -1;
    build_placeholder_network(net);
    const int status = save_network(path, net.header, net.weights);
    network_free(net);
    return status;
}
