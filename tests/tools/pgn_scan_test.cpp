// -scan_pgn through the real program: which positions of a game become
// training lines, with which score and result, and what is skipped.

#include <regex>

#include "test_support.h"

namespace {

// 28 plies, White wins; plies 22 and 23 are captures, 26 and 27 the last two.
const char* const RUY_LOPEZ =
    "1. e4 {+0.30/10 0.1s} e5 {-0.25/10} 2. Nf3 {+0.35/10} Nc6 {-0.30/10} 3. Bb5 {+0.40/10} a6 {-0.41/10}\n"
    "4. Ba4 {+0.42/10} Nf6 {-0.40/10} 5. O-O {+0.45/10} Be7 {-0.44/10} 6. Re1 {+0.50/10} b5 {-0.50/10}\n"
    "7. Bb3 {+0.55/10} d6 {-0.52/10} 8. c3 {+0.60/10} O-O {-0.58/10} 9. h3 {+0.62/10} Nb8 {-0.60/10}\n"
    "10. d4 {+0.65/10} Nbd7 {-0.66/10} 11. c4 {+0.70/10} c6 {-0.71/10} 12. cxb5 {+0.80/10} axb5 {-0.75/10}\n"
    "13. Nc3 {+0.77/10} Bb7 {-0.78/10} 14. Bg5 {+0.80/10} h6 {-0.81/10}";

}  // namespace

TEST(PgnScan, WritesScoredQuietPositionsAfterTheOpening) {
    const std::string dir = make_scratch_dir("scanpgn");
    // A draw whose scores stay small teaches nothing; an abandoned game and one with an illegal move neither.
    const std::string dull = std::regex_replace(RUY_LOPEZ, std::regex("[+-]0\\.\\d\\d/"), "+0.10/");
    write_file(dir + "/games.pgn", std::string("[Event \"won\"]\n[Result \"1-0\"]\n") + RUY_LOPEZ + " 1-0\n\n" +
                                       "[Event \"left\"]\n[Result \"1-0\"]\n[Termination \"abandoned\"]\n" + RUY_LOPEZ + " 1-0\n\n" +
                                       "[Event \"dull\"]\n[Result \"1/2-1/2\"]\n" + dull + " 1/2-1/2\n\n" +
                                       "[Event \"broken\"]\n[Result \"0-1\"]\n1. e4 e5 2. Ke3 Nf6 3. d4 d5 4. c4 c6 0-1\n\n");
    const std::string out = run_tool({"-quiet", "-scan_pgn", "games.pgn", "-o", "scan.epd"}, dir);
    EXPECT_TRUE(contains(out, "can't parse move 2. Ke3 in game #4  \n") && contains(out, "read 4 games\n\n")) << out;
    EXPECT_EQ(read_lines(dir + "/scan.epd"), (std::vector<std::string>{
        "r1bq1rk1/2p1bppp/p1np1n2/1p2p3/4P3/1BP2N2/PP1P1PPP/RNBQR1K1 w - - ce 62; gr 1.0;",
        "r1bq1rk1/2p1bppp/p1np1n2/1p2p3/4P3/1BP2N1P/PP1P1PP1/RNBQR1K1 b - - ce -60; gr 0.0;",
        "rnbq1rk1/2p1bppp/p2p1n2/1p2p3/4P3/1BP2N1P/PP1P1PP1/RNBQR1K1 w - - ce 65; gr 1.0;",
        "rnbq1rk1/2p1bppp/p2p1n2/1p2p3/3PP3/1BP2N1P/PP3PP1/RNBQR1K1 b - - ce -66; gr 0.0;",
        "r1bq1rk1/2pnbppp/p2p1n2/1p2p3/3PP3/1BP2N1P/PP3PP1/RNBQR1K1 w - - ce 70; gr 1.0;",
        "r1bq1rk1/2pnbppp/p2p1n2/1p2p3/2PPP3/1B3N1P/PP3PP1/RNBQR1K1 b - - ce -71; gr 0.0;",
        "r1bq1rk1/3nbppp/2pp1n2/1p2p3/3PP3/1B3N1P/PP3PP1/RNBQR1K1 w - - ce 77; gr 1.0;",
        "r1bq1rk1/3nbppp/2pp1n2/1p2p3/3PP3/1BN2N1P/PP3PP1/R1BQR1K1 b - - ce -78; gr 0.0;", ""}));
}
