// The game driver as a GUI sees it: draws claimed before searching, a book
// that is not there, and the option side effects that set speeds.

#include "frontend/options.h"
#include "search/rating.h"
#include "search/state.h"
#include "test_support.h"

TEST(GameDriver, DrawsByRuleAreClaimedWithoutABestMoveAndMissingBooksAreSearched) {
    EngineProcess engine({"-quiet"});
    for (const char* position : {"position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 80",
                                 "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8"}) {
        const std::vector<std::string> seen = engine.ask(std::string(position) + "\ngo depth 5\nisready", "readyok");
        EXPECT_NE(std::find(seen.begin(), seen.end(), "info string Draw!"), seen.end()) << position;
        EXPECT_EQ(line_starting(seen, "bestmove"), "") << position;
    }
    // A ponder search is the interface's, not a claim: its "stop" still gets a move.
    engine.ask("position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 80\ngo ponder wtime 1000 btime 1000\nstop");
    // One repetition short of threefold: the engine plays on; so it does with a book that is not there.
    const std::vector<std::string> seen = engine.ask("setoption name OwnBook value true\nsetoption name OwnBook_File value /nonexistent/book.bin\n"
                                                     "setoption name OwnBook2_Depth value 40\nposition startpos moves g1f3 g8f6 f3g1 f6g8\ngo depth 5");
    EXPECT_NE(seen.back(), "bestmove null");
}

TEST(StrengthOptions, SpeedThrottleRoundsHalfAwayFromZero) {
    set_default_options();
    options.calibration_nps = 1000001;
    testing::internal::CaptureStdout();
    set_option("Speed Throttle [%]", "50");
    set_option("Target_NPS", "100000");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(out, "info string Speed Throttle [%] set to 50") && contains(out, "info string Target_NPS set to 10000")) << out;
    EXPECT_EQ(options.limit_strength, 1);
    EXPECT_EQ(search_state.target_nps, 10000.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(10000));
    set_option("Speed Throttle [%]", "50");
    EXPECT_EQ(search_state.target_nps, 500001.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(500001));
    // Found by fuzzing: outside engine mode (a parameter file read by a tool) the speed is never measured.
    set_default_options();
    options.calibration_nps = 0;
    testing::internal::CaptureStdout();
    set_option("Speed Throttle [%]", "50");
    EXPECT_EQ(search_state.target_nps, 20.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(20));
    EXPECT_EQ(options.limit_strength, 1);
    testing::internal::GetCapturedStdout();
    set_default_options();
}
