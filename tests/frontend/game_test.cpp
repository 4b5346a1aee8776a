// The game driver as a GUI sees it: draws claimed before searching, and the
// option side effects that set speeds.

#include "frontend/options.h"
#include "search/rating.h"
#include "search/state.h"
#include "test_support.h"

TEST(GameDriver, DrawsByRuleAreClaimedWithoutABestMove) {
    EngineProcess engine({"-quiet"});
    for (const char* position : {"position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 80",
                                 "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8"}) {
        const std::vector<std::string> seen = engine.ask(std::string(position) + "\ngo depth 5\nisready", "readyok");
        EXPECT_NE(std::find(seen.begin(), seen.end(), "info string Draw!"), seen.end()) << position;
        EXPECT_EQ(line_starting(seen, "bestmove"), "") << position;
    }
    // A ponder search is the interface's, not a claim: its "stop" still gets a move.
    engine.ask("position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 80\ngo ponder wtime 1000 btime 1000\nstop");
    // One repetition short of threefold: the engine plays on.
    EXPECT_NE(engine.ask("position startpos moves g1f3 g8f6 f3g1 f6g8\ngo depth 5").back(), "bestmove null");
}

TEST(StrengthOptions, SpeedThrottleRoundsHalfAwayFromZero) {
    testing::internal::CaptureStdout();
    for (auto [calibration, target] : {std::pair{1000001.0f, 500001.0f}, {0.0f, 20.0f}}) {
        set_default_options();
        options.calibration_nps = calibration;  // 0: outside engine mode the speed is never measured (found by fuzzing)
        set_option("Speed Throttle [%]", "50");
        EXPECT_EQ(search_state.target_nps, target);
        EXPECT_EQ(options.uci_elo, elo_from_nps(target));
        EXPECT_EQ(options.limit_strength, 1);
    }
    set_option("Target_NPS", "100000");
    EXPECT_TRUE(contains(testing::internal::GetCapturedStdout(), "info string Target_NPS set to 10000\n"));
    EXPECT_EQ(search_state.target_nps, 10000.0f);
    set_default_options();
}
