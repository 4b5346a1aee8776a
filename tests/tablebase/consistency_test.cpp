// Random positions of every four- and five-man table present: each WDL and
// DTZ value must agree with the values one move later, the moves coming from
// the engine's own move generator. Then the positions the format singles out.
#include <dirent.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/movegen.h"
#include "tb_test_env.h"

namespace {

struct Material {
    std::string name;
    bool dtz;
};

std::vector<Material> materials_present(int min_men) {
    std::vector<Material> found;
    std::string dir = shared_path("syzygy");
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
        std::string file = e->d_name;
        if (file.size() < 6 || file.substr(file.size() - 5) != ".rtbw") continue;
        std::string name = file.substr(0, file.size() - 5);
        if (int(name.size()) - 1 >= min_men) found.push_back({name, !read_file(dir + "/" + name + ".rtbz").empty()});
    }
    if (d) closedir(d);
    std::sort(found.begin(), found.end(), [](const Material& a, const Material& b) { return a.name < b.name; });
    return found;
}

// A random legal position of the material (either side may hold either half), as FEN.
std::string random_position(const std::string& name, std::mt19937& rng) {
    for (;;) {
        char board[64] = {};
        bool swap = rng() & 1;
        int side = 0;
        for (char c : name) {
            if (c == 'v') {
                side = 1;
                continue;
            }
            int sq;
            do sq = int(rng() % 64);
            while (board[sq] || (c == 'P' && (sq < 8 || sq >= 56)));
            board[sq] = (side ^ swap) ? char(c - 'A' + 'a') : c;
        }
        std::string fen;
        for (int r = 7; r >= 0; r--) {
            int empty = 0;
            for (int f = 0; f < 8; f++) {
                char c = board[r * 8 + f];
                if (!c) {
                    empty++;
                    continue;
                }
                if (empty) fen += char('0' + empty);
                empty = 0;
                fen += c;
            }
            if (empty) fen += char('0' + empty);
            if (r) fen += '/';
        }
        fen += rng() & 1 ? " w - - 0 1" : " b - - 0 1";
        static ThreadBoard* record = [] {
            auto* b = new ThreadBoard;
            init_thread_board(*b);
            return b;
        }();
        if (set_fen(record->pos, fen.c_str()) == 0) return fen;
    }
}

struct Child {
    bool zeroing;
    bool mate;
    TbPosition pos;
};

std::vector<Child> children_of(ThreadBoard& tb) {
    Position& pos = tb.pos;
    gen_all(pos);
    std::vector<Move> moves;
    for (const MoveEntry* e = tb.current_ply().moves; e < tb.current_ply().listEnd; e++)
        if (is_legal(pos, pos.side, e->move)) moves.push_back(e->move);
    std::vector<Child> children;
    for (Move m : moves) {
        bool zeroing = piece_type(pos.board[move_from(m)]) == PAWN || pos.board[move_to(m)];
        make_move(pos, m);
        TbPosition after = tb_position_from(pos, 0);
        children.push_back({zeroing, tb_is_mate(after), after});
        unmake_move(pos);
    }
    return children;
}

// One position: its WDL against the best child, its DTZ against the children
// that keep its result (within the one-ply rounding the format allows).
void check(ThreadBoard& tb, const std::string& fen, bool with_dtz, int& wdl_faults, int& dtz_faults) {
    set_fen(tb.pos, fen.c_str());
    Probe wdl = wdl_of(tb_position_from(tb.pos, 0));
    std::vector<Child> children = children_of(tb);
    int best = children.empty() ? (is_attacked(tb.pos, tb.pos.kingSq[tb.pos.side], tb.pos.side ^ 1) ? -2 : 0) : -3;
    std::vector<int> values;
    for (const Child& c : children) {
        Probe child = wdl_of(c.pos);
        ASSERT_NE(child.success, 0) << fen;
        values.push_back(-child.value);
        best = std::max(best, -child.value);
    }
    // Across the fifty-move boundary a reversible move can turn a cursed
    // result into a real one one ply later.
    bool boundary = (wdl.value == 1 && best == 2) || (wdl.value == -1 && best == -2);
    if ((wdl.success == 0 || (wdl.value != best && !boundary)) && wdl_faults++ < 5)
        ADD_FAILURE() << fen << ": WDL " << wdl.value << ", best move gives " << best;
    if (!with_dtz || wdl.value == 0 || children.empty()) return;

    int w = wdl.value, expected = w > 0 ? 1000 : 0;
    for (size_t i = 0; i < children.size(); i++) {
        if ((values[i] > 0) != (w > 0) || values[i] == 0) continue;
        if (children[i].zeroing) {
            int zeroed = std::abs(WDL_TO_DTZ[values[i] + 2]);
            expected = w > 0 ? (values[i] == w ? std::min(expected, zeroed) : expected) : std::max(expected, zeroed);
            continue;
        }
        Probe d = children[i].mate ? Probe{0, 1} : dtz_of(children[i].pos);
        ASSERT_NE(d.success, 0) << fen;
        expected = w > 0 ? std::min(expected, std::abs(d.value) + 1) : std::max(expected, std::abs(d.value) + 1);
    }
    // A value searched one ply from the other side's table is exact; one read
    // from the table may be a ply short where the table stores moves.
    TbPosition pos = tb_position_from(tb.pos, 0);
    int stored = 1;
    tb_probe_table(pos, w, stored, TB_DTZ);
    Probe dtz = dtz_of(pos);
    bool ok = dtz.success && (dtz.value > 0) == (w > 0) && std::abs(std::abs(dtz.value) - expected) <= (stored == -1 ? 0 : 1);
    if (!ok && dtz_faults++ < 5) ADD_FAILURE() << fen << ": DTZ " << dtz.value << ", the moves give " << expected;
}

}  // namespace

TEST(Consistency, RandomFourAndFiveManPositionsAgreeWithTheirMoves) {
    use_tables();
    std::mt19937 rng(20240518);
    ThreadBoard* tb = new ThreadBoard;
    init_thread_board(*tb);
    std::vector<Material> materials = materials_present(4);
    ASSERT_EQ(materials.size(), 46u);
    int wdl_faults = 0, dtz_faults = 0;
    for (const Material& m : materials)
        for (int i = 0; i < 70; i++) check(*tb, random_position(m.name, rng), m.dtz, wdl_faults, dtz_faults);
    EXPECT_EQ(wdl_faults, 0);
    EXPECT_EQ(dtz_faults, 0);
    delete tb;
}

TEST(Consistency, FormatCornerCases) {
    use_tables();
    // Kings alone are a draw without a file.
    Probe kings = wdl_of(tb_from_fen("8/8/3k4/8/8/4K3/8/8 w - - 0 1"));
    EXPECT_EQ(kings.value, 0);
    EXPECT_EQ(kings.success, 1);

    // The table says lost, but taking en passant draws.
    Probe ep = wdl_of(tb_from_fen("8/8/8/8/5Pp1/8/k5K1/8 b - f3 0 1"));
    EXPECT_EQ(ep.value, 0);
    EXPECT_EQ(ep.success, 2);
    Probe without = wdl_of(tb_from_fen("8/8/8/8/5Pp1/8/k5K1/8 b - - 0 1"));
    EXPECT_EQ(without.value, -2);
    // So the double step that allows it is no winning zeroing move: DTZ is read from the table.
    EXPECT_EQ(dtz_of(tb_from_fen("8/8/8/8/6p1/8/k4PK1/8 w - - 0 1")).value, 3);

    // A winning capture settles the probe at once.
    Probe capture = wdl_of(tb_from_fen("8/8/8/8/8/2k5/8/1K1r2Q1 w - - 0 1"));
    EXPECT_EQ(capture.value, 2);
    EXPECT_EQ(capture.success, 2);

    // A pawn push that keeps the win is a DTZ of one; mate in one is too.
    EXPECT_EQ(dtz_of(tb_from_fen("8/8/8/8/8/k7/6P1/6K1 w - - 0 1")).value, 1);
    EXPECT_EQ(dtz_of(tb_from_fen("k7/8/1K6/8/8/8/8/7R w - - 0 1")).value, 1);
    // Stalemate is a draw even where the side to move is "lost" on material.
    EXPECT_EQ(wdl_of(tb_from_fen("k7/2Q5/1K6/8/8/8/8/8 b - - 0 1")).value, 0);
}
