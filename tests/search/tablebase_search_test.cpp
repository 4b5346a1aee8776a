// The engine with tablebases, through the real binary: the root result line
// and its filtered moves, the DTZ move played at once, tablebase hits in the
// tree, whole conversions, and damaged files that must not stop it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search_env.h"
#include "tablebase/registry.h"
#include "tablebase/tb_probe.h"
#include "test_support.h"

namespace {

struct Search {
    std::vector<std::string> lines;
    std::string bestmove;  // the whole "bestmove ..." line

    std::string line_starting(const std::string& prefix) const {
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

Search search(EngineProcess& engine, const std::string& position, const std::string& go) {
    engine.send_line(position);
    engine.send_line(go);
    Search s;
    EXPECT_TRUE(engine.wait_for("bestmove", &s.lines, 60000)) << position;
    if (!s.lines.empty()) s.bestmove = s.lines.back();
    return s;
}

std::vector<std::string> tb_engine_args(const std::string& path = shared_path("syzygy")) {
    return {"-tbpath", path, "-hash", "16"};
}

const char* const QUEEN_WIN = "8/8/8/8/8/2k5/Q7/4K3 w - -";

}  // namespace

TEST(TablebaseRoot, WinLineDropsTheMovesThatThrowTheWinAwayThenSearches) {
    EngineProcess engine(tb_engine_args());
    Search s = search(engine, std::string("position fen ") + QUEEN_WIN + " 0 1", "go depth 6");
    std::string line = s.line_starting("info string TB result is WIN with moves: ");
    ASSERT_FALSE(line.empty());
    for (const char* lost : {"a2b2 ", "a2b3 ", "a2c2 "}) EXPECT_EQ(line.find(lost), std::string::npos) << line;
    EXPECT_NE(line.find("a2a8 "), std::string::npos) << line;
    EXPECT_NE(s.last_info().find("depth 6 "), std::string::npos) << s.last_info();
    ASSERT_GT(s.bestmove.size(), 13u);
    EXPECT_NE(line.find(s.bestmove.substr(9, 4) + " "), std::string::npos) << s.bestmove;
}

TEST(TablebaseRoot, FromTenReversiblePliesTheDtzMoveIsPlayedAtOnce) {
    EngineProcess engine(tb_engine_args());
    Search win = search(engine, std::string("position fen ") + QUEEN_WIN + " 10 1", "go depth 20");
    EXPECT_NE(win.last_info().find("depth 99 "), std::string::npos) << win.last_info();
    EXPECT_NE(win.last_info().find(" score cp 9800 "), std::string::npos) << win.last_info();
    EXPECT_EQ(win.bestmove.find("ponder"), std::string::npos) << win.bestmove;

    Search lost = search(engine, "position fen 8/8/8/8/8/2k5/Q7/4K3 b - - 10 1", "go depth 20");
    EXPECT_NE(lost.last_info().find(" score cp -9800 "), std::string::npos) << lost.last_info();

    // A draw with many drawing moves: the same one, whichever engine asks.
    const std::string draw = "position fen 8/8/3k4/2r5/8/8/R3K3/8 w - - 30 1";
    Search first = search(engine, draw, "go depth 20");
    EXPECT_NE(first.last_info().find(" score cp 0 "), std::string::npos) << first.last_info();
    EngineProcess other(tb_engine_args());
    EXPECT_EQ(search(other, draw, "go depth 20").bestmove, first.bestmove);
}

TEST(TablebaseSearch, SixMenSearchCountsHitsOfTheFiveManTables) {
    EngineProcess engine(tb_engine_args());
    Search s = search(engine, "position fen 8/8/4k3/3p4/4P3/8/2r5/4K2R w - - 0 1", "go depth 8");
    EXPECT_TRUE(s.line_starting("info string TB result").empty());
    std::string info = s.last_info();
    size_t at = info.find(" tbhits ");
    ASSERT_NE(at, std::string::npos) << info;
    EXPECT_GT(std::stol(info.substr(at + 8)), 0) << info;
}

// The engine plays both sides of won five-man endings, searching while the
// fifty-move counter is low and following DTZ after that. Every move of the
// winner keeps the win, and the game reaches mate or a winning zeroing move
// long before the fifty-move rule.
TEST(TablebaseSearch, WonFiveManEndingsAreConvertedWithoutSlipping) {
    search_test_setup();
    copy_text(options.syzygy_path, shared_path("syzygy").c_str());
    testing::internal::CaptureStdout();
    tb_setup();
    testing::internal::GetCapturedStdout();
    EngineProcess engine(tb_engine_args());
    ThreadBoard* tb = new ThreadBoard;
    init_thread_board(*tb);
    for (const char* fen : {"8/8/4k3/8/8/2r5/8/3QK2R w - - 0 1", "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
                            "8/8/8/8/7K/5RB1/8/2r3k1 w - - 0 1"}) {
        ASSERT_EQ(set_fen(tb->pos, fen), 0);
        ASSERT_EQ(tb_probe_wdl(tb->pos, 80), 4) << fen;
        int winner = tb->pos.side;
        std::string moves;
        bool converted = false;
        for (int ply = 0; ply < 200 && !converted; ply++) {
            ASSERT_LT(tb->pos.fifty, 100) << fen << " moves" << moves;
            Search s = search(engine, std::string("position fen ") + fen + (moves.empty() ? "" : " moves" + moves),
                              "go depth 7");
            ASSERT_GT(s.bestmove.size(), 12u);
            std::string text = s.bestmove.substr(9, s.bestmove.find(' ', 9) - 9);
            Move m;
            ASSERT_EQ(parse_move(*tb, text.c_str(), m), 1) << text;
            bool mover_wins = tb->pos.side == winner;
            bool zeroing = tb->pos.board[move_to(m)] || piece_type(tb->pos.board[move_from(m)]) == PAWN;
            ASSERT_EQ(make_game_move(*tb, m), 0);
            moves += " " + text;
            if (!mover_wins) continue;
            ASSERT_EQ(tb_probe_wdl(tb->pos, 80), 0) << fen << " moves" << moves;
            converted = zeroing || tb_is_mate(tb_position_from(tb->pos, 0));
        }
        EXPECT_TRUE(converted) << fen << " moves" << moves;
    }
    delete tb;
}

TEST(TablebaseSearch, DamagedTablesAreDroppedAndTheEngineGoesOn) {
    std::string dir = make_scratch_dir("tb");
    std::string bytes = read_file(shared_path("syzygy/KQvK.rtbw"));
    bytes[1] ^= 0x40;
    write_file(dir + "/KQvK.rtbw", bytes);
    write_file(dir + "/KRvK.rtbw", read_file(shared_path("syzygy/KRvK.rtbw")).substr(0, 150));
    EngineProcess engine(tb_engine_args(dir));
    Search s = search(engine, std::string("position fen ") + QUEEN_WIN + " 12 1", "go depth 6");
    EXPECT_TRUE(s.line_starting("info string TB result").empty());
    EXPECT_NE(s.last_info().find("depth 6 "), std::string::npos);
    Search again = search(engine, "position fen 8/8/8/8/8/2k5/R7/4K3 w - - 12 1", "go depth 6");
    EXPECT_NE(again.last_info().find("depth 6 "), std::string::npos);
    engine.send_line("isready");
    EXPECT_TRUE(engine.wait_for("readyok"));
}
