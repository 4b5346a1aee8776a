// PGN reading: the game parser (tags, comments with engine scores,
// variations, NAGs, numbered moves) and whole collections replayed move by
// move against the legal moves; and -scan_pgn through the real program: which
// positions of a game become training lines, with which score and result,
// and what is skipped.

#include <regex>

#include "test_support.h"
#include "tools/pgn.h"

namespace {

// The game's moves as one text, and its scores.
std::string moves_of(const PgnGame& game) {
    std::string out;
    for (int i = 0; i < game.move_count; i++) out += std::string(out.empty() ? "" : " ") + game.moves[i];
    return out;
}

// Reads every game of a file: the number of games, of those with moves, and of those that replay completely.
std::array<int, 3> replay_file(const std::string& path) {
    std::array<int, 3> count = {};
    auto game = std::make_unique<PgnGame>();
    PgnReader reader;
    EXPECT_EQ(pgn_open(reader, path.c_str()), 0) << path;
    for (std::string text; pgn_next_game(reader, text);) {
        pgn_parse_game(*game, text.data());
        auto tb = board_from(game->fen[0] ? game->fen : START_FEN);
        int i = 0;
        for (Move m; i < game->move_count && parse_move(*tb, game->moves[i], m); i++) make_game_move(*tb, m);
        count[0]++, count[1] += game->move_count > 0, count[2] += i == game->move_count;
    }
    pgn_close(reader);
    return count;
}

// 28 plies, White wins; plies 22 and 23 are captures, 26 and 27 the last two.
const char* const RUY_LOPEZ =
    "1. e4 {+0.30/10 0.1s} e5 {-0.25/10} 2. Nf3 {+0.35/10} Nc6 {-0.30/10} 3. Bb5 {+0.40/10} a6 {-0.41/10}\n"
    "4. Ba4 {+0.42/10} Nf6 {-0.40/10} 5. O-O {+0.45/10} Be7 {-0.44/10} 6. Re1 {+0.50/10} b5 {-0.50/10}\n"
    "7. Bb3 {+0.55/10} d6 {-0.52/10} 8. c3 {+0.60/10} O-O {-0.58/10} 9. h3 {+0.62/10} Nb8 {-0.60/10}\n"
    "10. d4 {+0.65/10} Nbd7 {-0.66/10} 11. c4 {+0.70/10} c6 {-0.71/10} 12. cxb5 {+0.80/10} axb5 {-0.75/10}\n"
    "13. Nc3 {+0.77/10} Bb7 {-0.78/10} 14. Bg5 {+0.80/10} h6 {-0.81/10}";

}  // namespace

// Every kind of token (tags, comments, variations, NAGs, numbered moves) shows in the moves and scores read.
TEST(Pgn, TagsCommentScoresVariationsAndTerminations) {
    auto game = std::make_unique<PgnGame>();
    std::string first = "[Result \"0-1\"] [FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"] [Annotator \"x eval=57\"] "
                        "1. e4 {+1.25/18 3.2s} e5 {-M5/20} 2. Nf3 {book} Nc6 {0.0/1} 3. Bb5+ {+12.5/3} a6 {-99.99/5} 0-1";
    pgn_parse_game(*game, first.data());
    EXPECT_EQ(game->result * 100 + game->annotator_eval, -100 + 57);
    EXPECT_STREQ(game->fen, "8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(moves_of(*game), "e4 e5 Nf3 Nc6 Bb5 a6");
    EXPECT_EQ(std::vector<int16_t>(game->scores, game->scores + 6), (std::vector<int16_t>{125, -9000, 0, 0, 1250, -9000}));
    std::string second = "[Result \"1-0\"] 1.e4 $1 e5 (1...c5 2.Nf3) 2.Nf3 {why} Nc6 3...a6 4.exd8=Q+ Kxd8 5.Qh5# 1-0";
    pgn_parse_game(*game, second.data());
    EXPECT_EQ(game->result, 1);
    EXPECT_EQ(moves_of(*game), "e4 e5 Nf3 Nc6 a6 exd8Q Kxd8 Qh5");
    // Found by fuzzing: scores beyond any int, or not numbers at all.
    std::string extreme = "[Result \"1-0\"] 1. e4 {-1e10/3} e5 {+nan/2} 2. Nf3 {+1e400/1} 1-0";
    auto scored = std::make_unique<PgnGame>();
    pgn_parse_game(*scored, extreme.data());
    EXPECT_EQ(std::vector<int16_t>(scored->scores, scored->scores + 3), (std::vector<int16_t>{-9000, 0, 9000}));
    // Abandoned games are dropped but counted.
    std::string abandoned = "[Termination \"abandoned\"] 1. e4 e5 *", drawn = "[Result \"1/2-1/2\"] 1. d4 d5 1/2-1/2";
    pgn_parse_game(*game, abandoned.data());
    EXPECT_EQ(game->move_count, 0);
    pgn_parse_game(*game, drawn.data());
    EXPECT_EQ(game->games * 100 + game->move_count * 10 + game->result, 420);
}

TEST(Pgn, FilesSplitIntoGamesThatReplayCompletely) {
    const struct { const char* file; int games, with_moves; } cases[] = {
        {"edge/kasparov-deep-blue-1997.pgn", 6, 6}, {"edge/molinari-bordais-1979.pgn", 1, 1},
        {"edge/stockfish-learning.pgn", 1, 1}, {"edge/variations-nags-and-comments.pgn", 1, 1}, {"edge/uci-moves.pgn", 1, 1},
        {"edge/utf8-bom.pgn", 2, 0}, {"carlsen_all.pgn", 1395, 1390}, {"tcec_cup10_bronze.pgn", 10, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(replay_file(shared_path(std::string("data/pgn/") + c.file)), (std::array<int, 3>{c.games, c.with_moves, c.games})) << c.file;
    PgnReader reader;
    EXPECT_EQ(pgn_open(reader, "/nonexistent.pgn"), -1);
    // Found by fuzzing: NUL bytes read as blanks, one of them at the start of a line.
    const std::string path = make_scratch_dir("pgn-nul") + "/nul.pgn";
    write_file(path, std::string("[Event \"a\"]\n[Result \"1-0\"]\n\n\0\0\0" "1. e4 e5 2. Nf3\0 Nc6 3. Bb5 a6 1-0\n\0\n", 68));
    ASSERT_EQ(pgn_open(reader, path.c_str()), 0);
    std::string text;
    ASSERT_TRUE(pgn_next_game(reader, text));
    auto game = std::make_unique<PgnGame>();
    pgn_parse_game(*game, text.data());
    EXPECT_EQ(moves_of(*game) + " " + std::to_string(game->result), "e4 e5 Nf3 Nc6 Bb5 a6 1");
    EXPECT_FALSE(pgn_next_game(reader, text));
    pgn_close(reader);
}

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
