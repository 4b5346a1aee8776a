#include "eval_support.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "core/settings.h"
#include "eval/params.h"
#include "test_support.h"

void init_eval_tests() {
    set_default_options();
    options.use_nn = 0;
    init_eval_params();
    load_param_text(default_param_text);
}

int hce_of(const std::string& fen) {
    // One record and state serve every call; eval_ply 0 keeps the pawn cache out of it.
    static std::unique_ptr<ThreadBoard> tb = board_from(START_FEN);
    static std::unique_ptr<EvalState> es = std::make_unique<EvalState>();
    EXPECT_EQ(set_fen(tb->pos, fen.c_str()), 0) << fen;
    es->eval_ply = 0;
    return hce_evaluate(*es, tb->pos);
}

namespace {

// The placement's ranks (rank 8 first), side, castling and en-passant fields, and back.
struct FenFields {
    std::vector<std::string> ranks;
    std::string side, rights = "-", ep = "-";
    explicit FenFields(const std::string& fen) {
        std::istringstream in(fen), board(fen.substr(0, fen.find(' ')));
        std::string placement;
        in >> placement >> side >> rights >> ep;
        for (std::string rank; std::getline(board, rank, '/');) ranks.push_back(rank);
    }
    std::string text() const {
        std::string out;
        for (const std::string& rank : ranks) out += (out.empty() ? "" : "/") + rank;
        return out + " " + side + " " + rights + " " + ep;
    }
};

std::string swap_case(std::string s) {
    for (char& c : s) c = char(isupper(uint8_t(c)) ? tolower(c) : toupper(c));
    return s;
}

}  // namespace

std::string flip_fen(const std::string& fen) {
    FenFields f(fen);
    std::reverse(f.ranks.begin(), f.ranks.end());
    for (std::string& rank : f.ranks) rank = swap_case(rank);
    f.side = f.side == "w" ? "b" : "w";
    if (f.rights != "-") f.rights = swap_case(f.rights);
    if (f.ep != "-") f.ep[1] = f.ep[1] == '3' ? '6' : '3';
    return f.text();
}

std::string mirror_fen(const std::string& fen) {
    FenFields f(fen);
    for (std::string& rank : f.ranks) std::reverse(rank.begin(), rank.end());  // run lengths read alike backwards
    if (f.ep != "-") f.ep[0] = char('a' + 'h' - f.ep[0]);
    return f.text();
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

void install_embedded_network() {
    copy_text(options.nn_file, "embedded");
    const float noise = options.noise;
    options.noise = 99999;  // quiet
    load_network();
    options.noise = noise;
}

namespace {

void place(Position& pos, int color, int type, int s) {
    if (pos.board[s]) remove_piece(pos, s);
    put_piece(pos, make_piece(color, type), s);
    if (type == KING) pos.kingSq[color] = uint8_t(s);
}

}  // namespace

Position mirrored_position(const Position& pos) {
    Position m{};
    m.side = pos.side;
    m.epSquare = NO_SQUARE;
    for (int s = 0; s < 64; s++)
        if (pos.board[s]) place(m, piece_color(pos.board[s]), piece_type(pos.board[s]), s ^ 7);
    return m;
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
