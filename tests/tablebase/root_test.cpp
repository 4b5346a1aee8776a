// The search's probe (castling, the six- and seven-man depth limits) and the
// DTZ choice of a root move, against values worked out move by move.
#include <algorithm>
#include <vector>

#include "board/move.h"
#include "board/movegen.h"
#include "table_files.h"
#include "tb_test_env.h"

namespace {

// Value of each legal root move for the mover, as the tables see it: plies
// to the next zeroing move, positive when it wins, 0 when it draws.
std::vector<std::pair<Move, int>> move_values(const char* fen) {
    Position& pos = engine_position(fen);
    gen_all(pos);
    std::vector<Move> moves;
    PlyRecord& ply = pos.owner->current_ply();
    for (const MoveEntry* e = ply.moves; e < ply.listEnd; e++)
        if (is_legal(pos, pos.side, e->move)) moves.push_back(e->move);
    std::vector<std::pair<Move, int>> values;
    for (Move m : moves) {
        bool zeroing = pos.board[move_to(m)] || piece_type(pos.board[move_from(m)]) == PAWN;
        make_move(pos, m);
        TbPosition after = tb_position_from(pos, 0);
        Probe d = dtz_of(after);
        int v = tb_is_mate(after) ? 1 : zeroing ? WDL_TO_DTZ[2 - wdl_of(after).value] : d.value > 0 ? -d.value - 1 : d.value < 0 ? -d.value + 1 : 0;
        values.push_back({m, v});
        unmake_move(pos);
    }
    return values;
}

struct Choice {
    bool chosen;
    Move move;
    int result;
};

Choice root_choice(const char* fen) {
    Choice c{false, MOVE_NONE, -1};
    c.chosen = tb_root_move(engine_position(fen), c.move, c.result);
    return c;
}

}  // namespace

TEST(Root, CastlingRightsNeverProbe) {
    use_tables();
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1"), 80), -1);
    EXPECT_FALSE(root_choice("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1").chosen);
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w - - 12 1"), 80), 4);
}

TEST(Root, SixAndSevenMenOnlyDeepEnoughInTheTree) {
    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 0);
    write_uniform_table(dir, "KQRBNvKB", 4, 0);
    use_tables(dir);
    EXPECT_EQ(tb_max_men(), 7);
    options.syzygy_probe_depth = 5;  // as "setoption name SyzygyProbeDepth6 value 5" sets them
    options.syzygy_probe_depth7 = 7;
    const char* six = "4k1b1/8/8/8/8/8/8/KQRN4 w - - 0 1";
    const char* seven = "4k1b1/8/8/8/8/8/8/KQRBN3 w - - 0 1";
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 4), -1);
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 5), 4);
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 80), 4);
    EXPECT_EQ(tb_probe_wdl(engine_position("4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1"), 80), 0);
    EXPECT_EQ(tb_probe_wdl(engine_position(seven), 6), -1);
    EXPECT_EQ(tb_probe_wdl(engine_position(seven), 7), 4);
}

// A table draws the position as a stalemate, but the side to move has the
// en-passant capture, and must play it: the capture's value is the position's.
TEST(Root, OnlyMoveEnPassantOutranksATableDraw) {
    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQPvKP", 2, 2);
    use_tables(dir + ";" + shared_path("syzygy"));
    Probe plain = wdl_of(tb_from_fen("8/8/8/8/1p6/1Q6/P7/k1K5 b - - 0 1"));
    EXPECT_EQ(plain.value, 0);
    EXPECT_EQ(plain.success, 1);
    Probe after_capture = wdl_of(tb_from_fen("8/8/8/8/8/pQ6/8/k1K5 w - - 0 1"));
    Probe only_move = wdl_of(tb_from_fen("8/8/8/8/Pp6/1Q6/8/k1K5 b - a3 0 1"));
    EXPECT_EQ(after_capture.value, 2);
    EXPECT_EQ(only_move.value, -2);
    EXPECT_EQ(only_move.success, 2);
}

TEST(Root, DtzMoveWinsQuickestResistsLongestDrawsAlike) {
    use_tables();
    EXPECT_FALSE(root_choice("8/8/8/8/8/2k5/Q7/4K3 w - - 9 1").chosen);

    const char* win = "8/8/8/8/8/2k5/Q7/4K3 w - - 12 1";
    Choice c = root_choice(win);
    ASSERT_TRUE(c.chosen);
    EXPECT_EQ(c.result, 4);
    auto values = move_values(win);
    int quickest = 1000;
    for (auto [m, v] : values)
        if (v > 0) quickest = std::min(quickest, v);
    auto chosen = std::find_if(values.begin(), values.end(), [&](auto& e) { return e.first == c.move; });
    ASSERT_NE(chosen, values.end());
    EXPECT_EQ(chosen->second, quickest);
    // The same win so late that the fifty-move rule comes first.
    EXPECT_EQ(root_choice("8/8/8/8/8/2k5/Q7/4K3 w - - 99 1").result, 3);

    const char* loss = "8/8/8/8/8/2k5/Q7/4K3 b - - 20 1";
    c = root_choice(loss);
    ASSERT_TRUE(c.chosen);
    EXPECT_EQ(c.result, 0);
    values = move_values(loss);
    int slowest = 0;
    for (auto [m, v] : values) slowest = std::min(slowest, v);
    chosen = std::find_if(values.begin(), values.end(), [&](auto& e) { return e.first == c.move; });
    EXPECT_EQ(chosen->second, slowest);

    const char* draw = "8/8/3k4/2r5/8/8/R3K3/8 w - - 30 1";
    c = root_choice(draw);
    ASSERT_TRUE(c.chosen);
    EXPECT_EQ(c.result, 2);
    values = move_values(draw);
    EXPECT_GT(std::count_if(values.begin(), values.end(), [](auto& e) { return e.second == 0; }), 2);
    chosen = std::find_if(values.begin(), values.end(), [&](auto& e) { return e.first == c.move; });
    EXPECT_EQ(chosen->second, 0);
    EXPECT_EQ(root_choice(draw).move, c.move);
}

// Tables that call every move of a blessed loss a plain loss (as a fresh
// fifty-move counter can near the boundary) must not leave the root empty.
TEST(Root, RootListNeverLosesEveryMove) {
    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 1);
    write_uniform_table(dir, "KQRNvK", 4, 0);
    EngineProcess engine({"-tbpath", dir, "-hash", "16"});
    engine.send_line("position fen 4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1");
    engine.send_line("go depth 3");
    std::vector<std::string> lines;
    ASSERT_TRUE(engine.wait_for("bestmove", &lines));
    bool listed = false;
    for (const std::string& l : lines)
        listed |= l.rfind("info string TB result is DRAW with moves: ", 0) == 0 && l.find("g8f7 ") != std::string::npos;
    EXPECT_TRUE(listed);
    const std::string& best = lines.back();
    EXPECT_TRUE(best.rfind("bestmove e8", 0) == 0 || best.rfind("bestmove g8", 0) == 0) << best;
}
