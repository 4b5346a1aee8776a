#include "eval_support.h"

#include <algorithm>
#include <cstring>

#include "eval/params.h"
#include "test_support.h"

void init_eval_tests() {
    set_default_options();
    options.use_nn = 0;
    init_eval_params();
    load_param_text(default_param_text);
}

int hce_of(const Position& pos) {
    static std::unique_ptr<EvalState> es = std::make_unique<EvalState>();
    es->eval_ply = 0;  // keeps the pawn cache out of it
    return hce_evaluate(*es, pos);
}

namespace {

void place(Position& pos, int color, int type, int s) {
    if (pos.board[s]) remove_piece(pos, s);
    put_piece(pos, make_piece(color, type), s);
    if (type == KING) pos.kingSq[color] = uint8_t(s);
}

}  // namespace

Position transformed(const Position& pos, bool flip) {
    Position t{};
    t.side = uint8_t(pos.side ^ flip);
    t.epSquare = NO_SQUARE;
    for (int s = 0; s < 64; s++)
        if (pos.board[s]) place(t, piece_color(pos.board[s]) ^ flip, piece_type(pos.board[s]), s ^ (flip ? 56 : 7));
    return t;
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

void PieceShuffler::step(Position& pos) {
    const int color = pick(2), kind = pick(10);
    Bitboard own = pos.pieces[color][0] & ~pos.pieces[color][KING];
    const Bitboard blocked = pos.pieces[color][0] | pos.pieces[0][KING] | pos.pieces[1][KING];
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
