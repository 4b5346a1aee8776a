#include "evaluate_support.h"

#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

#include "board/attacks.h"
#include "board/keys.h"
#include "core/settings.h"
#include "eval/params.h"

void init_eval_tests() {
    static bool tables = (init_tables(), init_kpk_table(), init_keys(), true);
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

// The four fields, the ranks of the placement split out (rank 8 first).
struct FenFields {
    std::vector<std::string> ranks;
    std::string side, rights = "-", ep = "-";
    explicit FenFields(const std::string& fen) {
        std::istringstream in(fen);
        std::string placement;
        in >> placement >> side >> rights >> ep;
        std::istringstream board(placement);
        for (std::string rank; std::getline(board, rank, '/');) ranks.push_back(rank);
    }
    std::string text() const {
        std::string out;
        for (size_t i = 0; i < ranks.size(); i++) {
            if (i) out += '/';
            out += ranks[i];
        }
        return out + " " + side + " " + rights + " " + ep;
    }
};

std::string swap_case(std::string s) {
    for (char& c : s) c = isupper(uint8_t(c)) ? char(tolower(c)) : char(toupper(c));
    return s;
}

}  // namespace

std::string flip_fen(const std::string& fen) {
    FenFields f(fen);
    std::vector<std::string> ranks(f.ranks.rbegin(), f.ranks.rend());
    for (std::string& rank : ranks) rank = swap_case(rank);
    f.ranks = ranks;
    f.side[0] = f.side[0] == 'w' ? 'b' : 'w';
    if (f.rights != "-") f.rights = swap_case(f.rights);
    if (f.ep != "-") f.ep[1] = f.ep[1] == '3' ? '6' : '3';
    return f.text();
}

std::string mirror_fen(const std::string& fen) {
    FenFields f(fen);
    for (std::string& rank : f.ranks) rank = std::string(rank.rbegin(), rank.rend());  // run lengths read alike backwards
    if (f.ep != "-") f.ep[0] = char('a' + 'h' - f.ep[0]);
    return f.text();
}
