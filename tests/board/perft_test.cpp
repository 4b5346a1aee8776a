// Perft counts from the shared suites: generation, legality and make/unmake
// against published numbers.

#include <algorithm>
#include <sstream>

#include "board/perft.h"
#include "test_support.h"

namespace {

struct PerftCase {
    std::string fen;
    std::vector<uint64_t> counts;  // counts[d - 1] for depth d
};

// "FEN ;D1 n ;D2 n ..." lines.
std::vector<PerftCase> read_suite(const char* file) {
    std::vector<PerftCase> suite;
    for (const std::string& line : read_lines(shared_path(std::string("data/perft/") + file))) {
        std::stringstream rest(line.substr(std::min(line.find(';'), line.size())));
        PerftCase pc{line.substr(0, line.find(';')), {}};
        for (std::string field; std::getline(rest, field, ';');) {
            int depth = 0;
            unsigned long long count = 0;
            if (sscanf(field.c_str(), " D%d %llu", &depth, &count) == 2 && depth == int(pc.counts.size()) + 1)
                pc.counts.push_back(count);
        }
        if (!pc.counts.empty()) suite.push_back(pc);
    }
    EXPECT_FALSE(suite.empty()) << file;
    return suite;
}

// Checks every case at depths first_depth(case) .. last_depth(case).
template <typename First, typename Last>
void check_suite(const char* file, First first_depth, Last last_depth) {
    for (const PerftCase& pc : read_suite(file)) {
        auto tb = board_from(pc.fen);
        for (int depth = first_depth(pc); depth <= last_depth(pc); depth++) {
            reset_ordering(tb->order);
            tb->nodes = 0;
            perft(*tb, tb->pos.side, tb->plyIndex, depth);
            EXPECT_EQ(tb->nodes, pc.counts[depth - 1]) << pc.fen << " depth " << depth;
        }
    }
}

int full(const PerftCase& pc) { return int(pc.counts.size()); }
bool small(const PerftCase& pc) { return pc.counts.back() <= 1000000; }  // full depth in the fast suite

}  // namespace

TEST(Perft, StandardSuiteToDepthFourAndSmallTreesToFullDepth) {
    check_suite("standard.epd", [](auto&) { return 1; }, [](auto& pc) { return small(pc) ? full(pc) : 4; });
}

TEST(Perft, Chess960SuiteToDepthFour) {
    check_suite("chess960.epd", [](auto&) { return 1; }, [](auto&) { return 4; });
}

TEST(PerftSlow, StandardSuiteFullDepth) {
    check_suite("standard.epd", [](auto&) { return 5; }, [](auto& pc) { return small(pc) ? 0 : full(pc); });
}

TEST(PerftSlow, Chess960SuiteFullDepth) {
    check_suite("chess960.epd", [](auto&) { return 5; }, full);
}

TEST(Perft, DivideListsEveryRootMoveAndTheTotal) {
    auto tb = board_from(START_FEN);
    testing::internal::CaptureStdout();
    EXPECT_EQ(perft_divide(*tb, 2), 400u);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(out, "g1f3: 20\n") && contains(out, "\nNodes searched: 400\n")) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 21);
    EXPECT_EQ(tb->plyIndex * 100 + tb->histIndex, 100);
}
