// Random positions of every four- and five-man table present: WDL and DTZ
// must agree with the values one move later, the moves coming from the
// engine's own generator. Then the positions the format singles out.
#include <dirent.h>

#include <algorithm>
#include <random>

#include "tb_test_env.h"

namespace {

// A random legal position of the material, either colour holding either side.
std::string random_position(const std::string& name, std::mt19937& rng) {
    static std::unique_ptr<ThreadBoard> record = board_from(START_FEN);
    for (;;) {
        std::string board(64, '1'), fen;
        bool swap = rng() & 1, black = false;
        for (char c : name) {
            if (c == 'v') {
                black = true;
                continue;
            }
            size_t sq;
            do sq = rng() % 64;
            while (board[sq] != '1' || (c == 'P' && (sq < 8 || sq >= 56)));
            board[sq] = black != swap ? char(c - 'A' + 'a') : c;
        }
        for (int r = 7; r >= 0; r--) fen += board.substr(size_t(8 * r), 8) + (r ? "/" : "");
        fen += rng() & 1 ? " w - - 0 1" : " b - - 0 1";
        if (set_fen(record->pos, fen.c_str()) == 0) return fen;
    }
}

// WDL against the best move; DTZ against the moves that keep the result.
void check(const std::string& fen, bool with_dtz, int& faults) {
    Position& pos = engine_position(fen.c_str());
    TbPosition p = tb_position_from(pos, 0);
    Probe wdl = wdl_of(p);
    std::vector<Child> children = children_of(pos);
    int w = wdl.value, best = children.empty() ? (is_attacked(pos, pos.kingSq[pos.side], pos.side ^ 1) ? -2 : 0) : -3;
    std::vector<int> values;
    for (const Child& c : children) {
        values.push_back(-wdl_of(c.pos).value);
        best = std::max(best, values.back());
    }
    // Across the fifty-move boundary a reversible move can turn a cursed win
    // or a blessed loss into a plain one a ply later (each counts from zero).
    bool ok = wdl.success && (w == best || (w == 1 && best == 2) || (w == -1 && best == -2));
    int expected = w > 0 ? 1000 : 0;
    Probe dtz{0, 1};
    if (with_dtz && w != 0 && !children.empty()) {
        for (size_t i = 0; i < children.size(); i++) {
            if (values[i] == 0 || (values[i] > 0) != (w > 0)) continue;
            int after = children[i].zeroing ? (values[i] == w || w < 0 ? std::abs(WDL_TO_DTZ[values[i] + 2]) : 1000)
                        : children[i].mate  ? 1
                                            : std::abs(dtz_of(children[i].pos).value) + 1;
            expected = w > 0 ? std::min(expected, after) : std::max(expected, after);
        }
        // Searched one ply from the other side's table the value is exact;
        // read from a table that stores moves it may be a ply short.
        int stored = 1;
        tb_probe_table(p, w, stored, TB_DTZ);
        dtz = dtz_of(p);
        ok &= dtz.success && (dtz.value > 0) == (w > 0) && std::abs(std::abs(dtz.value) - expected) <= (stored == -1 ? 0 : 1);
    }
    char text[100];
    write_fen(pos, text, 0);
    if (!ok && faults++ < 5)
        ADD_FAILURE() << text << ": WDL " << w << " DTZ " << dtz.value << "; the moves give " << best << " " << expected;
}

}  // namespace

TEST(Consistency, RandomFourAndFiveManPositionsAgreeWithTheirMoves) {
    use_tables();
    std::mt19937 rng(20240518);
    int materials = 0, faults = 0;
    DIR* dir = opendir(shared_path("syzygy").c_str());
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        std::string file = e->d_name, name = file.substr(0, file.find('.'));
        if (file.size() < 10 || file.substr(file.size() - 5) != ".rtbw") continue;  // four men and more
        bool with_dtz = !shared_table(name + ".rtbz").empty();
        materials++;
        for (int i = 0; i < 70; i++) check(random_position(name, rng), with_dtz, faults);
    }
    if (dir) closedir(dir);
    EXPECT_EQ(materials, 46);
    EXPECT_EQ(faults, 0);
}

TEST(Consistency, FormatCornerCases) {
    use_tables();
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/3k4/8/8/4K3/8/8 w - - 0 1")), (Probe{0, 1}));  // no file needed
    // The table says lost, but taking en passant draws; so the double step
    // that allows it is no winning zeroing move, and DTZ comes from the table.
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/5Pp1/8/k5K1/8 b - f3 0 1")), (Probe{0, 2}));
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/5Pp1/8/k5K1/8 b - - 0 1")).value, -2);
    EXPECT_EQ(dtz_of(tb_from_fen("8/8/8/8/6p1/8/k4PK1/8 w - - 0 1")).value, 3);
    // A winning capture settles the probe at once.
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/8/2k5/8/1K1r2Q1 w - - 0 1")), (Probe{2, 2}));
    // A pawn push that keeps the win is a DTZ of one, as is mate in one; stalemate draws.
    EXPECT_EQ(dtz_of(tb_from_fen("8/8/8/8/8/k7/6P1/6K1 w - - 0 1")).value, 1);
    EXPECT_EQ(dtz_of(tb_from_fen("k7/8/1K6/8/8/8/8/7R w - - 0 1")).value, 1);
    EXPECT_EQ(wdl_of(tb_from_fen("k7/2Q5/1K6/8/8/8/8/8 b - - 0 1")).value, 0);

    // A table that draws by stalemate where the side to move must take en
    // passant: the capture's value (here a loss) is the position's.
    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQPvKP", 2, 2);
    use_tables(dir + ";" + shared_path("syzygy"));
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/1p6/1Q6/P7/k1K5 b - - 0 1")).value, 0);
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/8/pQ6/8/k1K5 w - - 0 1")).value, 2);
    EXPECT_EQ(wdl_of(tb_from_fen("8/8/8/8/Pp6/1Q6/8/k1K5 b - a3 0 1")), (Probe{-2, 2}));
}
