// The game driver as a GUI sees it: draws claimed before searching, answers
// for positions without moves, and the option side effects that set speeds.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "core/settings.h"
#include "search/rating.h"
#include "search/state.h"
#include "test_support.h"

TEST(GameDriver, DrawsByRuleAreClaimedWithoutABestMoveAndMissingBooksAreSearched) {
    EngineProcess engine({"-quiet"});
    const std::vector<std::string> drawn = {
        "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 80",
        "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8",
    };
    for (const std::string& position : drawn) {
        engine.send_line(position);
        engine.send_line("go depth 5");
        engine.send_line("isready");
        std::vector<std::string> seen;
        ASSERT_TRUE(engine.wait_for("readyok", &seen));
        bool draw = false, best = false;
        for (auto& line : seen) draw |= line == "info string Draw!", best |= line.rfind("bestmove", 0) == 0;
        EXPECT_TRUE(draw) << position;
        EXPECT_FALSE(best) << position;
    }
    // A ponder search is the interface's, not a claim: its "stop" still gets a move.
    engine.send_line(drawn[0]);
    engine.send_line("go ponder wtime 1000 btime 1000");
    engine.send_line("stop");
    EXPECT_TRUE(engine.wait_for("bestmove"));
    // One repetition short of threefold: the engine plays on; so it does with a book that is not there.
    engine.send_line("setoption name OwnBook value true");
    engine.send_line("setoption name OwnBook_File value /nonexistent/book.bin");
    engine.send_line("setoption name OwnBook2_Depth value 40");
    engine.send_line("position startpos moves g1f3 g8f6 f3g1 f6g8");
    engine.send_line("go depth 5");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("bestmove", &seen));
    EXPECT_NE(seen.back(), "bestmove null");
}

TEST(StrengthOptions, SpeedThrottleRoundsHalfAwayFromZero) {
    set_default_options();
    options.calibration_nps = 1000001;
    testing::internal::CaptureStdout();
    set_option("Speed Throttle [%]", "50");
    set_option("Target_NPS", "100000");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("info string Speed Throttle [%] set to 50"), std::string::npos) << out;
    EXPECT_NE(out.find("info string Target_NPS set to 10000"), std::string::npos) << out;
    EXPECT_EQ(options.limit_strength, 1);
    EXPECT_EQ(search_state.target_nps, 10000.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(10000));
    set_option("Speed Throttle [%]", "50");
    EXPECT_EQ(search_state.target_nps, 500001.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(500001));
}
