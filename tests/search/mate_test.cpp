// Forced mates, mated and stalemated roots, and the draw rules, through the real engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Answer {
    std::string last_info, bestmove;
};

Answer search(EngineProcess& engine, const std::string& position, const std::string& go) {
    engine.send_line(position);
    engine.send_line(go);
    std::vector<std::string> seen;
    Answer a;
    EXPECT_TRUE(engine.wait_for("bestmove", &seen, 60000)) << position;
    for (const std::string& line : seen)
        if (line.find(" score ") != std::string::npos) a.last_info = line;
    if (!seen.empty()) a.bestmove = seen.back();
    return a;
}

std::string score_of(const std::string& info) {
    size_t at = info.find(" score ");
    if (at == std::string::npos) return "";
    size_t end = info.find(" time ", at);
    return info.substr(at + 7, end - at - 7);
}

}  // namespace

TEST(Mates, ForcedMatesInOneToFiveAreScoredExactly) {
    struct Case {
        const char* fen;
        int moves;
    } cases[] = {
        {"k7/8/1K6/8/8/8/8/7R w - -", 1},
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
    for (const Case& c : cases) {
        engine.send_line("ucinewgame");
        Answer a = search(engine, std::string("position fen ") + c.fen, "go depth " + std::to_string(2 * c.moves + 6));
        EXPECT_EQ(score_of(a.last_info), "mate " + std::to_string(c.moves)) << c.fen << "\n" << a.last_info;
    }
    Answer one = search(engine, "position fen k7/8/1K6/8/8/8/8/7R w - -", "go depth 4");
    EXPECT_EQ(one.bestmove, "bestmove h1h8");
}

TEST(Mates, MatedAndStalematedRootsAnswerNull) {
    EngineProcess engine;
    // Fool's mate: white is mated.
    Answer mated = search(engine, "position startpos moves f2f3 e7e5 g2g4 d8h4", "go depth 5");
    EXPECT_EQ(mated.bestmove, "bestmove null");
    Answer stalemate = search(engine, "position fen 7k/5Q2/6K1/8/8/8/8/8 b - -", "go depth 5");
    EXPECT_EQ(stalemate.bestmove, "bestmove null");
}

TEST(Mates, MatingSideAvoidsTheFiftyMoveDraw) {
    EngineProcess engine;
    // One quiet move from the fifty-move draw: only a capture, a pawn move or mate would count.
    Answer drawn = search(engine, "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 99 80", "go depth 6");
    EXPECT_EQ(score_of(drawn.last_info), "cp 0") << drawn.last_info;
    Answer winning = search(engine, "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 0 80", "go depth 6");
    EXPECT_GT(std::stoi(score_of(winning.last_info).substr(3)), 500) << winning.last_info;
    // At the limit a mate still counts: the rook mates on the last move.
    Answer mate = search(engine, "position fen k7/8/1K6/8/8/8/8/7R w - - 99 80", "go depth 4");
    EXPECT_EQ(score_of(mate.last_info), "mate 1");
}

// "go mate N" searches until it finds a mate in N or another limit ends it.
TEST(Mates, GoMateSearchesUntilTheMateOrAnotherLimit) {
    EngineProcess engine;
    Answer found = search(engine, "position fen k7/8/2K5/8/8/8/8/7R w - -", "go mate 2");
    EXPECT_EQ(found.bestmove, "bestmove c6b6 ponder a8b8");
    EXPECT_EQ(score_of(found.last_info), "mate 2");
    // Without a mate in reach only "stop" ends it, not the default clock.
    engine.send_line("position startpos");
    engine.send_line("go mate 2");
    EXPECT_FALSE(engine.wait_for("bestmove", nullptr, 1500));
    engine.send_line("stop");
    EXPECT_TRUE(engine.wait_for("bestmove", nullptr, 2000));
    // With a depth limit the depth ends it.
    Answer limited = search(engine, "position startpos", "go mate 3 depth 4");
    EXPECT_NE(limited.last_info.find("info depth 4 "), std::string::npos) << limited.last_info;
    // A script that ends its input after the request still gets the answer.
    std::string out;
    EXPECT_EQ(run_engine({"-quiet"}, "position fen k7/8/2K5/8/8/8/8/7R w - -\ngo mate 2\n", out), 0);
    EXPECT_NE(out.find("bestmove c6b6"), std::string::npos) << out;
}
