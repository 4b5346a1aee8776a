#include "nn_helpers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "board/attacks.h"
#include "board/keys.h"
#include "core/settings.h"
#include "eval/nn/placeholder_net.h"

namespace {

void place(Position& pos, int color, int type, int sq) {
    if (pos.board[sq]) remove_piece(pos, sq);
    put_piece(pos, make_piece(color, type), sq);
    if (type == KING) pos.kingSq[color] = uint8_t(sq);
}

int16_t saturate(int x) { return int16_t(std::clamp(x, -32768, 32767)); }
int16_t activate(int x) { return int16_t(x < 0 ? (x + 63) >> 6 : x); }
int32_t dot32(const int16_t* a, const int16_t* b, int n) {
    uint32_t s = 0;
    for (int i = 0; i < n; i++) s += uint32_t(int32_t(a[i]) * b[i]);
    return int32_t(s);
}

}  // namespace

Position placement_position(const char* placement, int side) {
    static const bool tables = (init_tables(), init_keys(), true);
    (void)tables;
    Position pos{};
    const std::string fen = std::string(placement) + (side == WHITE ? " w - -" : " b - -");
    EXPECT_EQ(set_fen(pos, fen.c_str()), 0) << fen;
    return pos;
}

Position mirrored_position(const Position& pos) {
    Position m{};
    m.side = pos.side;
    m.epSquare = NO_SQUARE;
    for (int sq = 0; sq < 64; sq++)
        if (pos.board[sq]) place(m, piece_color(pos.board[sq]), piece_type(pos.board[sq]), sq ^ 7);
    return m;
}

NetworkHeader shaped_header(int H, int M, int N, int mode, int version, int buckets) {
    NetworkHeader h = DEFAULT_NETWORK_HEADER;
    h.version = int16_t(version);
    h.input_buckets = int16_t(buckets);
    h.output_bucket_mode = int16_t(mode);
    h.sizes[SIZE_ACC_WHITE] = h.sizes[SIZE_ACC_BLACK] = int16_t(H);
    h.sizes[SIZE_MATERIAL] = int16_t(M);
    h.sizes[SIZE_HIDDEN] = int16_t(N);
    return h;
}

void install_random_network(const NetworkHeader& h, uint64_t seed, int amplitude, int bias_amplitude) {
    Network net{};
    ASSERT_EQ(network_allocate(net, h), 0);
    std::mt19937_64 rng(seed);
    auto fill = [&rng](int16_t* block, int64_t n, int a) {
        for (int64_t i = 0; i < n; i++) block[i] = int16_t(int(rng() % uint64_t(2 * a + 1)) - a);
    };
    fill(net.weights, net.weight_count, amplitude);
    for (auto [block, n] : {std::pair{net.bias_white, h.sizes[SIZE_ACC_WHITE]}, {net.bias_black, h.sizes[SIZE_ACC_BLACK]},
                            {net.bias_material, h.sizes[SIZE_MATERIAL]}, {net.bias_hidden, h.sizes[SIZE_HIDDEN]}})
        fill(block, n, bias_amplitude);
    network_install(net);
}

void install_placeholder_network() {
    Network net{};
    network_allocate(net, PLACEHOLDER_HEADER);
    build_placeholder_network(net);
    network_install(net);
}

void install_embedded_network() {
    copy_text(options.nn_file, "embedded");
    const float noise = options.noise;
    options.noise = 99999;  // quiet
    load_network();
    options.noise = noise;
}

int reference_evaluate(const Position& pos) {
    const Network& net = network;
    const NetworkHeader& h = net.header;
    const int H = h.sizes[0], M = h.sizes[2], N = h.sizes[3];
    int count[2][6] = {}, units[2];
    for (int c = 0; c < 2; c++) {
        for (int t = 1; t <= 5; t++) count[c][t] = popcount(pos.pieces[c][t]);
        units[c] = 3 * (count[c][2] + count[c][3]) + 5 * count[c][4];
        units[c] += units[c] ? 10 * count[c][5] : 6 * count[c][5];
    }
    const int mw = units[0], mb = units[1];
    int bucket = 0;
    if (h.output_bucket_mode == 6) bucket = 5 - std::min(5, int(float((mw + mb) * 0.1) + 0.5));
    if (h.output_bucket_mode == 8)
        bucket = std::clamp(int(std::round((mw + mb + count[0][1] + count[1][1] - 6) * 0.1)), 0, 7);
    const int wk = pos.kingSq[0], bk = pos.kingSq[1];
    int in_white = 0, in_black = 0;
    if (h.input_buckets >= 2 && h.version <= 800) {
        in_white = wk > 23 ? 768 : 0;
        in_black = 7 - bk / 8 > 2 ? 768 : 0;
    } else if (h.input_buckets >= 2) {
        in_white = in_black = (h.version <= 805 ? mw + mb < 21 : std::max(mw, mb) < 10) ? 768 : 0;
    }
    const int mirror = (wk & 4) == 0 ? 7 : 0, flip = (bk & 4) == 0 ? 63 : 56;
    std::vector<int16_t> acc_w(net.bias_white, net.bias_white + H), acc_b(net.bias_black, net.bias_black + H);
    for (int t = 1; t <= 6; t++)
        for (int c = 0; c < 2; c++)
            for (Bitboard b = pos.pieces[c][t]; b;) {
                const int sq = pop_lsb(b);
                const int16_t* rw = net.feature_weights + size_t(in_white + (c ? 384 : 0) + (t - 1) * 64 + (sq ^ mirror)) * H;
                const int16_t* rb = net.feature_weights + size_t(in_black + (c ? 0 : 384) + (t - 1) * 64 + (sq ^ flip)) * H;
                for (int i = 0; i < H; i++) acc_w[i] = saturate(acc_w[i] + rw[i]), acc_b[i] = saturate(acc_b[i] + rb[i]);
            }
    for (int i = 0; i < H; i++) acc_w[i] = activate(acc_w[i]), acc_b[i] = activate(acc_b[i]);
    const int us = pos.side, them = us ^ 1;
    std::vector<int16_t> mat(M);
    for (int j = 0; j < M; j++) {
        int m = net.bias_material[j];
        for (int k = 0; k < 5; k++)
            m += net.material_weights[j * 10 + k] * count[us][k + 1] + net.material_weights[j * 10 + 5 + k] * count[them][k + 1];
        mat[j] = activate(int16_t(m));
    }
    const int16_t* own = us == 0 ? acc_w.data() : acc_b.data();
    const int16_t* other = us == 0 ? acc_b.data() : acc_w.data();
    float y;
    if (N == 0) {
        y = float(dot32(own, net.out_own() + bucket * H, H)) + float(dot32(other, net.out_other() + bucket * H, H));
        y += float(dot32(mat.data(), net.out_material() + bucket * M, M));
    } else {
        std::vector<int16_t> hidden(N);
        for (int j = 0; j < N; j++) {
            int v = net.bias_hidden[j] + dot32(own, net.out_own() + j * H, H) / 1024 +
                    dot32(other, net.out_other() + j * H, H) / 1024 + dot32(mat.data(), net.out_material() + j * M, M) / 1024;
            hidden[j] = activate(std::clamp(v, -32000, 32000));
        }
        y = float(dot32(hidden.data(), net.final_weights() + bucket * N, N));
    }
    const float scaled = y * 9.5367431640625e-07f * float(h.output_scale);
    return std::clamp(int(scaled >= 0 ? scaled + 0.5 : scaled - 0.5), -3000, 3000);
}

void PieceShuffler::step(Position& pos) {
    const int color = pick(2);
    Bitboard own = pos.pieces[color][0] & ~pos.pieces[color][KING];
    const Bitboard blocked = pos.pieces[color][0] | pos.pieces[0][KING] | pos.pieces[1][KING];
    const int kind = pick(10);
    if (kind < 3 || !own) {  // king step, maybe capturing
        const int from = pos.kingSq[color];
        const int to = std::clamp(file_of(from) + pick(3) - 1, 0, 7) + 8 * std::clamp(rank_of(from) + pick(3) - 1, 0, 7);
        if (!(square_bb(to) & blocked)) remove_piece(pos, from), place(pos, color, KING, to);
        return;
    }
    const int to = pick(64);
    if (square_bb(to) & blocked) return;
    if (kind == 9 && popcount(pos.occupied()) < 30) return place(pos, color, 1 + pick(5), to);  // a piece comes back
    for (int n = pick(popcount(own)); n--;) own &= own - 1;
    const int from = lsb(own);
    const int type = kind == 8 ? 1 + pick(5) : piece_type(pos.board[from]);  // promotion or other change of type
    remove_piece(pos, from);
    place(pos, color, type, to);
}

std::string temp_path(const std::string& name) { return "/tmp/quox_nn_" + std::to_string(getpid()) + "_" + name; }
