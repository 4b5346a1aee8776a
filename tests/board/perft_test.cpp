// Perft counts from the shared suites: generation, picker, legality and
// make/unmake against published numbers.
#include <gtest/gtest.h>

#include "board/perft.h"
#include "board_test_util.h"
#include "core/settings.h"
#include "test_support.h"

namespace {

constexpr uint64_t FAST_FULL_DEPTH_LIMIT = 1000000;  // full depth in the fast suite up to this count

// Checks every case at depths [1, max_depth] chosen by the filter.
template <typename Filter>
int check_suite(const char* file, Filter depth_for) {
    auto suite = read_perft_suite(shared_path(std::string("data/perft/") + file));
    EXPECT_FALSE(suite.empty()) << file;
    int checked = 0;
    for (const PerftCase& pc : suite) {
        auto tb = board_from(pc.fen.c_str());
        int last = depth_for(pc);
        for (int depth = 1; depth <= last; depth++) {
            EXPECT_EQ(run_perft(*tb, depth), pc.counts[depth - 1]) << pc.fen << " depth " << depth;
            checked++;
        }
    }
    return checked;
}

int full_depth(const PerftCase& pc) { return int(pc.counts.size()); }
bool small_at_full_depth(const PerftCase& pc) { return pc.counts.back() <= FAST_FULL_DEPTH_LIMIT; }

}  // namespace

TEST(Perft, StandardSuiteToDepthFourAndSmallTreesToFullDepth) {
    int full = 0;
    for (const PerftCase& pc : read_perft_suite(shared_path("data/perft/standard.epd"))) full += small_at_full_depth(pc);
    EXPECT_GE(full, 20);
    check_suite("standard.epd", [](const PerftCase& pc) { return small_at_full_depth(pc) ? full_depth(pc) : 4; });
}

TEST(Perft, Chess960SuiteToDepthFour) {
    EXPECT_EQ(check_suite("chess960.epd", [](const PerftCase&) { return 4; }), 40 * 4);
}

TEST(PerftSlow, StandardSuiteFullDepth) {
    check_suite("standard.epd", [](const PerftCase& pc) { return small_at_full_depth(pc) ? 0 : full_depth(pc); });
}

TEST(PerftSlow, Chess960SuiteFullDepth) {
    check_suite("chess960.epd", [](const PerftCase& pc) { return full_depth(pc); });
}

TEST(Perft, DivideListsEveryRootMoveAndTheTotal) {
    auto tb = board_from(START_FEN);
    testing::internal::CaptureStdout();
    uint64_t total = perft_divide(*tb, 2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(total, 400u);
    EXPECT_NE(out.find("g1f3: 20\n"), std::string::npos) << out;
    EXPECT_NE(out.find("e2e4: 20\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 21);
    EXPECT_NE(out.find("Nodes searched: 400\n"), std::string::npos);
    EXPECT_EQ(tb->plyIndex, 1);
    EXPECT_EQ(tb->histIndex, 0);
}

TEST(Perft, CheckEvasionsOnly) {
    // Double check by rook and knight: only king moves count.
    auto tb = board_from("4k3/8/3N4/8/8/8/8/4RK2 b - - 0 1");
    for (Move m : legal_moves(*tb)) EXPECT_EQ(piece_type(tb->pos.board[move_from(m)]), KING);
    EXPECT_EQ(run_perft(*tb, 1), legal_moves(*tb).size());
}
