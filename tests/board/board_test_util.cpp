#include "board_test_util.h"

#include <cstring>
#include <sstream>

#include "board/notation.h"
#include "board/perft.h"
#include "core/settings.h"
#include "test_support.h"

void init_board_core() {
    static bool ready = [] {
        set_default_options();
        init_tables();
        init_kpk_table();
        init_keys();
        return true;
    }();
    (void)ready;
}

std::unique_ptr<ThreadBoard> board_from(const char* fen) {
    init_board_core();
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    EXPECT_EQ(set_fen(tb->pos, fen), 0) << fen;
    return tb;
}

std::vector<Move> legal_moves(ThreadBoard& tb) {
    gen_all(tb.pos);
    std::vector<Move> moves;
    const PlyRecord& ply = tb.current_ply();
    for (const MoveEntry* e = ply.moves; e < ply.listEnd; e++)
        if (is_legal(tb.pos, tb.pos.side, e->move)) moves.push_back(e->move);
    return moves;
}

Move find_move(ThreadBoard& tb, const char* coordinate) {
    uint8_t chess960 = options.chess960, uci = options.uci_mode;
    options.chess960 = 0;
    options.uci_mode = 1;
    Move found = MOVE_NONE;
    char text[MOVE_TEXT_SIZE];
    for (Move m : legal_moves(tb)) {
        move_text(tb.pos, tb.pos.side, m, text);
        if (!strcmp(text, coordinate)) found = m;
    }
    options.chess960 = chess960;
    options.uci_mode = uci;
    return found;
}

std::vector<PerftCase> read_perft_suite(const std::string& path) {
    std::vector<PerftCase> suite;
    for (const std::string& line : read_lines(path)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos) continue;
        PerftCase pc{line.substr(0, semi), {}};
        std::stringstream rest(line.substr(semi));
        std::string field;
        while (std::getline(rest, field, ';')) {
            int depth = 0;
            unsigned long long count = 0;
            if (sscanf(field.c_str(), " D%d %llu", &depth, &count) == 2 && depth == int(pc.counts.size()) + 1)
                pc.counts.push_back(count);
        }
        suite.push_back(pc);
    }
    return suite;
}

uint64_t run_perft(ThreadBoard& tb, int depth) {
    reset_ordering(tb.order);
    tb.nodes = 0;
    perft(tb, tb.pos.side, tb.plyIndex, depth);
    return tb.nodes;
}
