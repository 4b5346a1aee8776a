// The clock, "stop", pondering and threads, through the real engine.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void ready(EngineProcess& engine) {
    engine.send_line("isready");
    ASSERT_TRUE(engine.wait_for("readyok", nullptr, 30000));
}

const char* const OPENINGS[] = {
    "position startpos",
    "position startpos moves e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3",
    "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "position fen r2q1rk1/5ppp/3b4/1nnP2P1/1Q3BbP/Pp4N1/1P4B1/1KN2R1R b - -",
};

}  // namespace

TEST(TimeControl, ShortSearchesNeverOverrunTheClock) {
    SKIP_WHEN_SANITIZED();
    EngineProcess engine({"-quiet"});
    ready(engine);
    std::mt19937 rng(7);
    double worst_margin = 1e9;
    for (int i = 0; i < 200; i++) {
        int clock = 30 + int(rng() % 1500), inc = int(rng() % 3) * 10;
        engine.send_line(OPENINGS[rng() % 5]);
        std::string go = "go wtime " + std::to_string(clock) + " btime " + std::to_string(clock) + " winc " +
                         std::to_string(inc) + " binc " + std::to_string(inc);
        if (rng() % 4 == 0) go += " movestogo " + std::to_string(1 + rng() % 30);
        auto start = Clock::now();
        engine.send_line(go);
        std::vector<std::string> seen;
        ASSERT_TRUE(engine.wait_for("bestmove", &seen, 10000)) << go;
        double used = ms_since(start);
        EXPECT_LT(used, clock) << go;
        EXPECT_NE(seen.back(), "bestmove null");
        worst_margin = std::min(worst_margin, clock - used);
    }
    RecordProperty("worst_margin_ms", int(worst_margin));
}

TEST(TimeControl, StopEndsTheSearchAtOnceAndMovetimeIsKept) {
    SKIP_WHEN_SANITIZED();
    for (int threads : {1, 3}) {
        EngineProcess engine({"-threads", std::to_string(threads)});
        ready(engine);
        engine.send_line(OPENINGS[2]);
        engine.send_line("go infinite");
        engine.wait_for("info depth", nullptr, 5000);
        auto start = Clock::now();
        engine.send_line("stop");
        ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 2000));
        EXPECT_LT(ms_since(start), 50) << threads << " threads";
        if (threads > 1) continue;
        engine.send_line(OPENINGS[1]);
        start = Clock::now();
        engine.send_line("go movetime 300");
        ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 5000));
        EXPECT_GT(ms_since(start), 250);
        EXPECT_LT(ms_since(start), 400);
    }
}

TEST(Pondering, PonderhitTurnsThePonderSearchIntoATimedOne) {
    EngineProcess engine({"-quiet"});
    ready(engine);
    engine.send_line("setoption name Ponder value true");
    engine.send_line(OPENINGS[1]);
    engine.send_line("go ponder wtime 2000 btime 2000");
    // Pondering never answers by itself.
    std::vector<std::string> seen;
    EXPECT_FALSE(engine.wait_for("bestmove", &seen, 500));
    engine.send_line("ponderhit");
    ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 3000));
    // A ponder search that ends early still waits for the decision; "stop" gives the answer.
    engine.send_line(OPENINGS[0]);
    engine.send_line("go ponder depth 2");
    EXPECT_FALSE(engine.wait_for("bestmove", nullptr, 500));
    engine.send_line("stop");
    ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 2000));
    // The same with ponderhit after the search has finished.
    engine.send_line("go ponder depth 2");
    EXPECT_FALSE(engine.wait_for("bestmove", nullptr, 300));
    engine.send_line("ponderhit");
    ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 2000));
}

TEST(Threads, EveryThreadCountFinishesAndStopsCleanly) {
    for (int threads = 1; threads <= 8; threads++) {
        EngineProcess engine({"-quiet"});
        ready(engine);
        engine.send_line("setoption name Threads value " + std::to_string(threads));
        engine.send_line(OPENINGS[threads % 5]);
        engine.send_line("go depth 9");
        ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 60000)) << threads;
        engine.send_line("go movetime 100");
        ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 10000)) << threads;
        engine.send_line("go infinite");
        engine.send_line("isready");
        ASSERT_TRUE(engine.wait_for("readyok", nullptr, 2000));  // answered during the search
        engine.send_line("stop");
        ASSERT_TRUE(engine.wait_for("bestmove", nullptr, 2000)) << threads;
        engine.send_line("quit");
        EXPECT_EQ(engine.wait_exit(), 0) << threads;
    }
}

TEST(Protocol, CommandsThatWouldChangeARunningSearchEndTheProgram) {
    EngineProcess engine({"-quiet"});
    ready(engine);
    engine.send_line("go infinite");
    engine.send_line("position startpos");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("unexpected command position, stopping Quox", &seen, 5000));
    EXPECT_EQ(engine.wait_exit(5000), 0);
}
