// The engine with tablebases through the real binary: root moves judged
// against the tables' values of every move, and whole won endings played out.
#include <map>

#include "tb_test_env.h"

namespace {

struct Answer {
    std::vector<std::string> lines;
    std::string move, info;  // the best move, the last "info depth" line with a pv
};

Answer ask(EngineProcess& engine, const std::string& fen, const std::string& go = "go depth 6") {
    Answer a{engine.ask("position fen " + fen + "\n" + go), "", ""};
    const std::string last = a.lines.empty() ? "" : a.lines.back();
    a.move = last.size() > 9 ? last.substr(9, last.find(' ', 9) - 9) : "";
    for (const std::string& l : a.lines)
        if (l.rfind("info depth", 0) == 0 && contains(l, " pv ")) a.info = l;
    return a;
}

std::vector<std::string> with_tables(const std::string& path = shared_path("syzygy")) { return {"-tbpath", path, "-hash", "16"}; }

// Each root move with its value for the mover, in plies to the next zeroing
// move: positive when it wins, 0 when it draws.
std::map<std::string, int> move_values(const char* fen) {
    std::map<std::string, int> values;
    for (const Child& c : children_of(engine_position(fen))) {
        char from[3], to[3];
        square_name(move_from(c.move), from);
        square_name(move_to(c.move), to);
        const int d = dtz_of(c.pos).value;
        values[std::string(from) + to] = c.mate ? 1 : c.zeroing ? WDL_TO_DTZ[2 - wdl_of(c.pos).value] : d > 0 ? -d - 1 : d < 0 ? -d + 1 : 0;
    }
    return values;
}

}  // namespace

TEST(TablebaseEngine, RootLineKeepsTheWinningMovesThenDtzMovesFromTenPlies) {
    use_tables();
    EngineProcess engine(with_tables()), other(with_tables());
    const Answer searched = ask(engine, "8/8/8/8/8/2k5/Q7/4K3 w - - 0 1");
    const std::string line = line_starting(searched.lines, "info string TB result is WIN with moves: ");
    for (const char* lost : {"a2b2 ", "a2b3 ", "a2c2 "}) EXPECT_FALSE(contains(line, lost)) << line;
    EXPECT_TRUE(contains(line, "a2a8 ") && contains(line, searched.move + " ")) << line << " " << searched.move;
    EXPECT_TRUE(contains(searched.info, "depth 6 ")) << searched.info;
    // From ten reversible plies on: the quickest win, the longest resistance,
    // and always the same drawing move, at once (depth 99, no ponder move).
    const struct { const char* fen; int score; } cases[] = {
        {"8/8/8/8/8/2k5/Q7/4K3 w - - 12 1", 9800}, {"8/8/8/8/8/2k5/Q7/4K3 b - - 20 1", -9800}, {"8/8/3k4/2r5/8/8/R3K3/8 w - - 30 1", 0}};
    for (const auto& c : cases) {
        const Answer a = ask(engine, c.fen, "go depth 30");
        EXPECT_TRUE(contains(a.info, "depth 99 ") && contains(a.info, " score cp " + std::to_string(c.score) + " ")) << a.info;
        EXPECT_FALSE(contains(a.lines.back(), "ponder")) << a.lines.back();
        std::map<std::string, int> values = move_values(c.fen);
        int quickest = 1000, longest = 0;
        for (auto [move, v] : values) quickest = v > 0 ? std::min(quickest, v) : quickest, longest = std::min(longest, v);
        EXPECT_EQ(values[a.move], c.score > 0 ? quickest : c.score < 0 ? longest : 0) << c.fen << " " << a.move;
        if (c.score == 0) { EXPECT_EQ(ask(other, c.fen, "go depth 30").move, a.move); }
    }
    // Under a six-man root the search counts hits of the five-man tables.
    const Answer six = ask(engine, "8/8/4k3/3p4/4P3/8/2r5/4K2R w - - 0 1", "go depth 8");
    EXPECT_EQ(line_starting(six.lines, "info string TB result"), "");
    const size_t at = six.info.find(" tbhits ");
    ASSERT_NE(at, std::string::npos) << six.info;
    EXPECT_GT(std::stol(six.info.substr(at + 8)), 0) << six.info;
}

// The engine plays both sides of won five-man endings, searching while the
// fifty-move counter is low and following DTZ after that. Each move of the
// winner keeps the win, and the game reaches mate or a winning zeroing move
// before the fifty-move rule.
TEST(TablebaseEngine, WonFiveManEndingsAreConvertedWithoutSlipping) {
    use_tables();
    EngineProcess engine(with_tables());
    for (const char* fen : {"8/8/4k3/8/8/2r5/8/3QK2R w - - 0 1", "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", "8/8/8/8/7K/5RB1/8/2r3k1 w - - 0 1"}) {
        auto game = board_from(fen);
        ASSERT_EQ(tb_probe_wdl(game->pos, 80), 4) << fen;
        const int winner = game->pos.side;
        std::string moves;
        bool converted = false;
        while (!converted && game->pos.fifty < 100) {
            const Answer a = ask(engine, fen + (moves.empty() ? "" : " moves" + moves), "go depth 7");
            Move m;
            ASSERT_EQ(parse_move(*game, a.move.c_str(), m), 1) << a.move;
            const bool winning_side = game->pos.side == winner;
            const bool zeroing = game->pos.board[move_to(m)] || piece_type(game->pos.board[move_from(m)]) == PAWN;
            ASSERT_EQ(make_game_move(*game, m), 0);
            moves += " " + a.move;
            if (!winning_side) continue;
            ASSERT_EQ(tb_probe_wdl(game->pos, 80), 0) << fen << " moves" << moves;
            converted = zeroing || tb_is_mate(tb_position_from(game->pos, 0));
        }
        EXPECT_TRUE(converted) << fen << " moves" << moves;
    }
}

// Tables that call every move of a blessed loss a plain loss (as a fresh
// fifty-move counter can near the boundary) must not leave the root empty.
TEST(TablebaseEngine, RootListNeverLosesEveryMove) {
    const std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 1);
    write_uniform_table(dir, "KQRNvK", 4, 0);
    EngineProcess engine(with_tables(dir));
    const Answer a = ask(engine, "4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1", "go depth 3");
    EXPECT_TRUE(contains(line_starting(a.lines, "info string TB result is DRAW with moves: "), "g8f7 "));
    EXPECT_TRUE(a.move.rfind("e8", 0) == 0 || a.move.rfind("g8", 0) == 0) << a.move;
}
