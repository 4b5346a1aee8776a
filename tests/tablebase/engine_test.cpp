// The engine with tablebases, through the real binary: the root line and the
// moves it keeps, the DTZ move played at once (against the values of every
// move), hits under a six-man root, whole conversions of won endings, a root
// whose every move the tables call lost, and damaged files.
#include <algorithm>
#include <map>

#include "board/notation.h"
#include "table_files.h"
#include "tb_test_env.h"

namespace {

struct Answer {
    std::vector<std::string> lines;
    std::string move;

    std::string line(const std::string& prefix) const {
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) return l;
        return "";
    }
    std::string last_info() const {
        for (auto l = lines.rbegin(); l != lines.rend(); ++l)
            if (l->rfind("info depth", 0) == 0 && l->find(" pv ") != std::string::npos) return *l;
        return "";
    }
};

Answer ask(EngineProcess& engine, const std::string& position, const std::string& go = "go depth 6") {
    engine.send_line("position fen " + position);
    engine.send_line(go);
    Answer a;
    EXPECT_TRUE(engine.wait_for("bestmove", &a.lines, 60000)) << position;
    std::string last = a.lines.empty() ? "" : a.lines.back();
    a.move = last.size() > 9 ? last.substr(9, last.find(' ', 9) - 9) : "";
    return a;
}

std::vector<std::string> with_tables(const std::string& path = shared_path("syzygy")) {
    return {"-tbpath", path, "-hash", "16"};
}

// Each root move with its value for the mover, in plies to the next zeroing
// move: positive when it wins, 0 when it draws.
std::map<std::string, int> move_values(const char* fen) {
    std::map<std::string, int> values;
    for (const Child& c : children_of(engine_position(fen))) {
        char from[3], to[3];
        square_name(move_from(c.move), from);
        square_name(move_to(c.move), to);
        int d = dtz_of(c.pos).value;
        values[std::string(from) + to] =
            c.mate ? 1 : c.zeroing ? WDL_TO_DTZ[2 - wdl_of(c.pos).value] : d > 0 ? -d - 1 : d < 0 ? -d + 1 : 0;
    }
    return values;
}

}  // namespace

TEST(TablebaseEngine, RootLineKeepsTheWinningMovesThenDtzMovesFromTenPlies) {
    use_tables();
    EngineProcess engine(with_tables());
    Answer searched = ask(engine, "8/8/8/8/8/2k5/Q7/4K3 w - - 0 1");
    std::string line = searched.line("info string TB result is WIN with moves: ");
    for (const char* lost : {"a2b2 ", "a2b3 ", "a2c2 "}) EXPECT_EQ(line.find(lost), std::string::npos) << line;
    EXPECT_NE(line.find("a2a8 "), std::string::npos) << line;
    EXPECT_NE(line.find(searched.move + " "), std::string::npos) << searched.move;
    EXPECT_NE(searched.last_info().find("depth 6 "), std::string::npos);

    // From ten reversible plies on: the quickest win, the longest resistance,
    // and always the same drawing move, at once (depth 99, no ponder move).
    struct Case {
        const char* fen;
        int score;  // also says which move: the quickest win, the longest resistance, a draw
    } cases[] = {{"8/8/8/8/8/2k5/Q7/4K3 w - - 12 1", 9800},
                 {"8/8/8/8/8/2k5/Q7/4K3 b - - 20 1", -9800},
                 {"8/8/3k4/2r5/8/8/R3K3/8 w - - 30 1", 0}};
    for (const Case& c : cases) {
        Answer a = ask(engine, c.fen, "go depth 30");
        EXPECT_NE(a.last_info().find("depth 99 "), std::string::npos) << a.last_info();
        EXPECT_NE(a.last_info().find(" score cp " + std::to_string(c.score) + " "), std::string::npos) << a.last_info();
        EXPECT_EQ(a.lines.back().find("ponder"), std::string::npos) << a.lines.back();
        std::map<std::string, int> values = move_values(c.fen);
        int quickest = 1000, longest = 0;
        for (auto [move, v] : values) {
            if (v > 0) quickest = std::min(quickest, v);
            longest = std::min(longest, v);
        }
        EXPECT_EQ(values[a.move], c.score > 0 ? quickest : c.score < 0 ? longest : 0) << c.fen << " " << a.move;
    }
    EngineProcess other(with_tables());
    EXPECT_EQ(ask(other, cases[2].fen, "go depth 30").move, ask(engine, cases[2].fen, "go depth 30").move);
}

TEST(TablebaseEngine, SixMenSearchCountsHitsOfTheFiveManTables) {
    EngineProcess engine(with_tables());
    Answer a = ask(engine, "8/8/4k3/3p4/4P3/8/2r5/4K2R w - - 0 1", "go depth 8");
    EXPECT_EQ(a.line("info string TB result"), "");
    std::string info = a.last_info();
    size_t at = info.find(" tbhits ");
    ASSERT_NE(at, std::string::npos) << info;
    EXPECT_GT(std::stol(info.substr(at + 8)), 0) << info;
}

// The engine plays both sides of won five-man endings, searching while the
// fifty-move counter is low and following DTZ after that. Each move of the
// winner keeps the win, and the game reaches mate or a winning zeroing move
// before the fifty-move rule.
TEST(TablebaseEngine, WonFiveManEndingsAreConvertedWithoutSlipping) {
    use_tables();
    EngineProcess engine(with_tables());
    ThreadBoard* game = new ThreadBoard;
    init_thread_board(*game);
    for (const char* fen : {"8/8/4k3/8/8/2r5/8/3QK2R w - - 0 1", "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
                            "8/8/8/8/7K/5RB1/8/2r3k1 w - - 0 1"}) {
        ASSERT_EQ(set_fen(game->pos, fen), 0);
        ASSERT_EQ(tb_probe_wdl(game->pos, 80), 4) << fen;
        int winner = game->pos.side;
        std::string moves;
        bool converted = false;
        while (!converted && game->pos.fifty < 100) {
            Answer a = ask(engine, fen + (moves.empty() ? "" : " moves" + moves), "go depth 7");
            Move m;
            ASSERT_EQ(parse_move(*game, a.move.c_str(), m), 1) << a.move;
            bool winning_side = game->pos.side == winner;
            bool zeroing = game->pos.board[move_to(m)] || piece_type(game->pos.board[move_from(m)]) == PAWN;
            ASSERT_EQ(make_game_move(*game, m), 0);
            moves += " " + a.move;
            if (!winning_side) continue;
            ASSERT_EQ(tb_probe_wdl(game->pos, 80), 0) << fen << " moves" << moves;
            converted = zeroing || tb_is_mate(tb_position_from(game->pos, 0));
        }
        EXPECT_TRUE(converted) << fen << " moves" << moves;
    }
    delete game;
}

// Tables that call every move of a blessed loss a plain loss (as a fresh
// fifty-move counter can near the boundary) must not leave the root empty.
TEST(TablebaseEngine, RootListNeverLosesEveryMove) {
    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 1);
    write_uniform_table(dir, "KQRNvK", 4, 0);
    EngineProcess engine(with_tables(dir));
    Answer a = ask(engine, "4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1", "go depth 3");
    EXPECT_NE(a.line("info string TB result is DRAW with moves: ").find("g8f7 "), std::string::npos);
    EXPECT_TRUE(a.move.rfind("e8", 0) == 0 || a.move.rfind("g8", 0) == 0) << a.move;
}

TEST(TablebaseEngine, DamagedFilesAreDroppedAndTheEngineGoesOn) {
    std::string dir = make_scratch_dir("tb");
    std::string bytes = shared_table("KQvK.rtbw");
    bytes[1] ^= 0x40;
    write_file(dir + "/KQvK.rtbw", bytes);
    write_file(dir + "/KRvK.rtbw", shared_table("KRvK.rtbw").substr(0, 150));
    EngineProcess engine(with_tables(dir));
    for (const char* fen : {"8/8/8/8/8/2k5/Q7/4K3 w - - 12 1", "8/8/8/8/8/2k5/R7/4K3 w - - 12 1"}) {
        Answer a = ask(engine, fen);
        EXPECT_EQ(a.line("info string TB result"), "");
        EXPECT_NE(a.last_info().find("depth 6 "), std::string::npos);
    }
    engine.send_line("isready");
    EXPECT_TRUE(engine.wait_for("readyok"));
}
