#include "evaluate_support.h"

#include <cctype>
#include <cstring>
#include <random>
#include <sstream>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/move.h"
#include "board/movegen.h"
#include "eval/params.h"
#include "core/settings.h"

void init_eval_tests() {
    static bool tables = [] {
        init_tables();
        init_kpk_table();
        init_keys();
        return true;
    }();
    (void)tables;
    set_default_options();
    options.use_nn = 0;
    init_eval_params();
    load_param_text(default_param_text);
}

std::unique_ptr<ThreadBoard> board_at(const std::string& fen) {
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    EXPECT_EQ(set_fen(tb->pos, fen.c_str()), 0) << fen;
    return tb;
}

std::unique_ptr<EvalState> fresh_eval_state() {
    auto es = std::make_unique<EvalState>();
    memset(static_cast<void*>(es.get()), 0, sizeof(EvalState));
    return es;
}

int hce_of(const std::string& fen) {
    // One record and state serve every call; eval_ply 0 keeps the pawn cache out of it.
    static std::unique_ptr<ThreadBoard> tb = board_at(START_FEN);
    static std::unique_ptr<EvalState> es = fresh_eval_state();
    EXPECT_EQ(set_fen(tb->pos, fen.c_str()), 0) << fen;
    es->eval_ply = 0;
    return hce_evaluate(*es, tb->pos);
}

namespace {

std::vector<std::string> fields_of(const std::string& fen) {
    std::stringstream in(fen);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    while (fields.size() < 4) fields.push_back("-");
    return fields;
}

// Placement as eight rank strings of eight characters, rank 8 first ('.' for empty).
std::vector<std::string> expand(const std::string& placement) {
    std::vector<std::string> ranks;
    std::stringstream in(placement);
    for (std::string rank; std::getline(in, rank, '/');) {
        std::string row;
        for (char c : rank) row += isdigit(uint8_t(c)) ? std::string(size_t(c - '0'), '.') : std::string(1, c);
        ranks.push_back(row);
    }
    return ranks;
}

std::string compress(const std::vector<std::string>& ranks) {
    std::string out;
    for (size_t r = 0; r < ranks.size(); r++) {
        int empty = 0;
        for (char c : ranks[r]) {
            if (c == '.') {
                empty++;
                continue;
            }
            if (empty) out += char('0' + empty), empty = 0;
            out += c;
        }
        if (empty) out += char('0' + empty);
        if (r + 1 < ranks.size()) out += '/';
    }
    return out;
}

char swap_case(char c) { return isupper(uint8_t(c)) ? char(tolower(c)) : char(toupper(c)); }

}  // namespace

std::string flip_fen(const std::string& fen) {
    auto f = fields_of(fen);
    auto ranks = expand(f[0]);
    std::vector<std::string> flipped(ranks.rbegin(), ranks.rend());
    for (auto& row : flipped)
        for (char& c : row) c = swap_case(c);
    std::string rights = f[2] == "-" ? "-" : "";
    if (f[2] != "-")
        for (char c : f[2]) rights += swap_case(c);
    std::string ep = f[3];
    if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
    return compress(flipped) + (f[1] == "w" ? " b " : " w ") + rights + " " + ep;
}

std::string mirror_fen(const std::string& fen) {
    auto f = fields_of(fen);
    auto ranks = expand(f[0]);
    for (auto& row : ranks) row = std::string(row.rbegin(), row.rend());
    std::string ep = f[3];
    if (ep != "-") ep[0] = char('a' + 'h' - ep[0]);
    return compress(ranks) + " " + f[1] + " " + f[2] + " " + ep;
}

std::vector<std::string> random_game_positions(int games, int max_plies, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> positions;
    auto tb = board_at(START_FEN);
    for (int g = 0; g < games; g++) {
        set_fen(tb->pos, START_FEN);
        for (int ply = 0; ply < max_plies; ply++) {
            gen_all(tb->pos);
            std::vector<Move> legal;
            const PlyRecord& rec = tb->current_ply();
            for (const MoveEntry* e = rec.moves; e < rec.listEnd; e++)
                if (is_legal(tb->pos, tb->pos.side, e->move)) legal.push_back(e->move);
            if (legal.empty()) break;
            make_game_move(*tb, legal[rng() % legal.size()]);
            char fen[128];
            write_fen(tb->pos, fen, 0);
            positions.push_back(fen);
        }
    }
    return positions;
}
