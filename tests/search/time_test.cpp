// The clock, "stop", pondering and threads, through the real engine.

#include <chrono>
#include <random>

#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

const char* const POSITIONS[] = {
    "position startpos",
    "position startpos moves e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3",
    "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "position fen r2q1rk1/5ppp/3b4/1nnP2P1/1Q3BbP/Pp4N1/1P4B1/1KN2R1R b - -",
};

}  // namespace

TEST(TimeControl, ShortSearchesNeverOverrunTheClockStopAndMovetime) {
    SKIP_WHEN_SANITIZED();
    EngineProcess engine({"-quiet"});
    engine.ask("isready", "readyok", 30000);
    std::mt19937 rng(7);
    for (int i = 0; i < 200; i++) {
        const int clock = 30 + int(rng() % 1500), inc = int(rng() % 3) * 10;
        std::string go = "go wtime " + std::to_string(clock) + " btime " + std::to_string(clock) + " winc " +
                         std::to_string(inc) + " binc " + std::to_string(inc);
        if (rng() % 4 == 0) go += " movestogo " + std::to_string(1 + rng() % 30);
        engine.send_line(POSITIONS[rng() % 5]);
        const auto start = Clock::now();
        const std::vector<std::string> seen = engine.ask(go, "bestmove", 10000);
        EXPECT_LT(ms_since(start), clock) << go;
        EXPECT_NE(seen.back(), "bestmove null");
    }
    EngineProcess talking;  // with its "info depth" lines
    talking.ask("isready", "readyok", 30000);
    const auto start = Clock::now();
    talking.ask(std::string(POSITIONS[1]) + "\ngo movetime 300");
    EXPECT_GT(ms_since(start), 250);
    EXPECT_LT(ms_since(start), 400);
    // "stop" ends a search at once, with one thread and with several.
    for (int threads : {1, 3}) {
        talking.ask("setoption name Threads value " + std::to_string(threads) + "\n" + POSITIONS[2] + "\ngo infinite", "info depth", 5000);
        const auto stopped = Clock::now();
        talking.ask("stop", "bestmove", 2000);
        EXPECT_LT(ms_since(stopped), 50) << threads << " threads";
    }
}

TEST(Pondering, PonderhitTurnsThePonderSearchIntoATimedOne) {
    EngineProcess engine({"-quiet"});
    engine.ask(std::string("setoption name Ponder value true\nisready"), "readyok", 30000);
    // Pondering never answers by itself; a ponder search that ends early still waits for the decision.
    for (auto [go, decision] : {std::pair{"go ponder wtime 2000 btime 2000", "ponderhit"},
                                {"go ponder depth 2", "stop"}, {"go ponder depth 2", "ponderhit"}}) {
        engine.send_line(std::string(POSITIONS[1]) + "\n" + go);
        EXPECT_FALSE(engine.wait_for("bestmove", nullptr, 400)) << go;
        engine.ask(decision, "bestmove", 3000);
    }
}

TEST(Threads, EveryThreadCountFinishesAndStopsCleanly) {
    for (int threads = 1; threads <= 8; threads++) {
        EngineProcess engine({"-quiet", "-threads", std::to_string(threads)});
        engine.ask(std::string(POSITIONS[threads % 5]) + "\ngo depth 9");
        engine.ask("go movetime 100", "bestmove", 10000);
        engine.ask("go infinite\nisready", "readyok", 2000);  // answered during the search
        engine.ask("stop", "bestmove", 2000);
        engine.send_line("quit");
        EXPECT_EQ(engine.wait_exit(), 0) << threads;
    }
}

TEST(Protocol, CommandsThatWouldChangeARunningSearchEndTheProgram) {
    EngineProcess engine({"-quiet"});
    engine.ask("isready\ngo infinite\nposition startpos", "unexpected command position, stopping Quox", 5000);
    EXPECT_EQ(engine.wait_exit(5000), 0);
}
