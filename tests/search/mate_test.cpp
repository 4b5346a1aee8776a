// Forced mates, mated and stalemated roots, the draw rules and "go mate",
// through the real engine.

#include "test_support.h"

namespace {

struct Answer {
    std::string score, bestmove;  // of the last info line with a score: "mate 2", "cp 35"
};

Answer search(EngineProcess& engine, const std::string& position, const std::string& go) {
    Answer a;
    for (const std::string& line : engine.ask(position + "\n" + go)) {
        if (const size_t at = line.find(" score "); at != std::string::npos) a.score = line.substr(at + 7, line.find(" time ") - at - 7);
        a.bestmove = line;
    }
    return a;
}

}  // namespace

TEST(Mates, ForcedMatesDrawsAndRootsWithoutMoves) {
    const struct { const char* fen; int moves; } mates[] = {
        {"k7/8/2K5/8/8/8/8/7R w - -", 2},
        {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -", 2},
        {"5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - -", 2},
        {"k4r2/1R4pb/1pQp1n1p/3P4/5p1P/3P2P1/r1q1R2K/8 w - -", 3},
        {"r3q1kr/ppp5/3p2pQ/8/3PP1b1/5R2/PPP3P1/5RK1 w - -", 3},
        {"r2rb1k1/pp1q1p1p/2n1p1p1/2bp4/5P2/PP1BPR1Q/1BPN2PP/R5K1 w - -", 4},
        {"r3r2k/2R3pp/pp1q1p2/8/3P3R/7P/PP3PP1/3Q2K1 w - -", 4},
        {"r1bq3r/ppppR1p1/5n1k/3P4/6pP/3Q4/PP1N1PP1/5K1R w - -", 5},
        {"2r1kb1r/pp3ppp/2n1b3/1q1N2B1/1P2Q3/8/P4PPP/3RK1NR w Kk -", 5},
    };
    EngineProcess engine;
    for (const auto& m : mates) {
        const Answer a = search(engine, std::string("ucinewgame\nposition fen ") + m.fen, "go depth " + std::to_string(2 * m.moves + 6));
        EXPECT_EQ(a.score, "mate " + std::to_string(m.moves)) << m.fen;
    }
    const struct { const char* position; const char* go; const char* score; const char* bestmove; } cases[] = {
        {"position fen k7/8/1K6/8/8/8/8/7R w - -", "go depth 7", "mate 1", "bestmove h1h8"},
        {"position startpos moves f2f3 e7e5 g2g4 d8h4", "go depth 5", nullptr, "bestmove null"},  // mated
        {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - -", "go depth 5", nullptr, "bestmove null"},  // stalemate
        // One quiet move from the fifty-move draw: only a capture, a pawn move or mate would count.
        {"position fen 8/8/8/4k3/8/8/8/R3K3 w - - 99 80", "go depth 6", "cp 0", nullptr},
        {"position fen k7/8/1K6/8/8/8/8/7R w - - 99 80", "go depth 4", "mate 1", nullptr},  // mate still counts
        // "go mate N" searches until it finds a mate in N or another limit ends it.
        {"position fen k7/8/2K5/8/8/8/8/7R w - -", "go mate 2", "mate 2", "bestmove c6b6 ponder a8b8"},
    };
    for (const auto& c : cases) {
        const Answer a = search(engine, c.position, c.go);
        if (c.bestmove) { EXPECT_EQ(a.bestmove, c.bestmove) << c.position; }
        if (c.score) { EXPECT_EQ(a.score, c.score) << c.position; }
    }
    EXPECT_GT(std::stoi(search(engine, "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 0 80", "go depth 6").score.substr(3)), 500);
    // Without a mate in reach only "stop" ends "go mate", not the default clock; a depth limit does.
    engine.send_line("position startpos\ngo mate 2");
    EXPECT_FALSE(engine.wait_for("bestmove", nullptr, 1500));
    engine.ask("stop");
    EXPECT_TRUE(contains(engine.ask("go mate 3 depth 4").rbegin()[1], "info depth 4 "));
    // A script that ends its input after the request still gets the answer.
    std::string out;
    EXPECT_EQ(run_engine({"-quiet"}, "position fen k7/8/2K5/8/8/8/8/7R w - -\ngo mate 2\n", out), 0);
    EXPECT_TRUE(contains(out, "bestmove c6b6")) << out;
}
