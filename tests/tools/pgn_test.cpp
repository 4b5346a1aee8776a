// PGN reading: the tokeniser, the game parser (tags, comments with engine
// scores, variations, NAGs, numbered moves) and whole collections replayed
// move by move against the legal moves.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "board/move.h"
#include "board/notation.h"
#include "board/thread_board.h"
#include "test_support.h"
#include "tools/pgn.h"

namespace {

std::unique_ptr<PgnGame> parse(std::string text) {
    auto game = std::make_unique<PgnGame>();
    memset(game.get(), 0, sizeof(PgnGame));
    pgn_parse_game(*game, text.data());
    return game;
}

// Plays the game's moves from its start; returns the number of moves that parsed.
int replay(const PgnGame& game, ThreadBoard& tb) {
    if (set_fen(tb.pos, strlen(game.fen) >= 11 ? game.fen : START_FEN) != 0) return -1;
    for (int i = 0; i < game.move_count; i++) {
        char text[16];
        snprintf(text, sizeof text, "%s", game.moves[i]);
        Move m;
        if (!parse_move(tb, text, m)) return i;
        make_game_move(tb, m);
    }
    return game.move_count;
}

// Reads every game of a file: the number of games, and of those that replay completely.
struct FileCount {
    int games = 0, complete = 0, with_moves = 0;
};
FileCount read_file_games(const std::string& path) {
    FileCount count;
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    auto game = std::make_unique<PgnGame>();
    memset(game.get(), 0, sizeof(PgnGame));
    PgnReader reader;
    EXPECT_EQ(pgn_open(reader, path.c_str()), 0) << path;
    std::string text;
    while (pgn_next_game(reader, text)) {
        pgn_parse_game(*game, text.data());
        count.games++;
        count.with_moves += game->move_count > 0;
        count.complete += replay(*game, *tb) == game->move_count;
    }
    pgn_close(reader);
    return count;
}

}  // namespace

TEST(PgnTokens, KindsOfTokens) {
    std::string text = "  [Event \"A b\"] {a comment} (1... e5 2. Nf3) \"quoted\" 12.Nf3 $4 1-0";
    char* cursor = text.data();
    std::vector<std::string> tokens;
    while (char* t = pgn_next_token(cursor)) tokens.push_back(t);
    std::vector<std::string> expected = {"[Event \"A b\"]", "{a comment}", "(1... e5 2. Nf3)", "\"quoted\"",
                                         "12.Nf3", "$4", "1-0"};
    EXPECT_EQ(tokens, expected);
}

TEST(PgnParse, CommentScoresResultAndTags) {
    auto game = parse(
        "[Result \"0-1\"] [FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"] [Annotator \"x eval=57\"] "
        "1. e4 {+1.25/18 3.2s} e5 {-M5/20} 2. Nf3 {book} Nc6 {0.0/1} 3. Bb5+ {+12.5/3} a6 {-99.99/5} 0-1");
    EXPECT_EQ(game->games, 1);
    EXPECT_EQ(game->result, -1);
    EXPECT_STREQ(game->fen, "8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(game->annotator_eval, 57);
    ASSERT_EQ(game->move_count, 6);
    EXPECT_STREQ(game->moves[4], "Bb5");
    int expected[6] = {125, -9000, 0, 0, 1250, -9000};
    for (int i = 0; i < 6; i++) EXPECT_EQ(game->scores[i], expected[i]) << i;
}

TEST(PgnParse, VariationsNagsNumbersAndPromotions) {
    auto game = parse(
        "[Result \"1-0\"] 1.e4 $1 e5 (1...c5 2.Nf3) 2.Nf3 {why} Nc6 3...a6 4.exd8=Q+ Kxd8 5.Qh5# 1-0");
    EXPECT_EQ(game->result, 1);
    ASSERT_EQ(game->move_count, 8);
    const char* moves[8] = {"e4", "e5", "Nf3", "Nc6", "a6", "exd8Q", "Kxd8", "Qh5"};
    for (int i = 0; i < 8; i++) EXPECT_STREQ(game->moves[i], moves[i]);
}

TEST(PgnParse, AbandonedGamesAreDroppedButCounted) {
    auto game = std::make_unique<PgnGame>();
    memset(game.get(), 0, sizeof(PgnGame));
    std::string first = "[Termination \"abandoned\"] 1. e4 e5 *";
    std::string second = "[Result \"1/2-1/2\"] 1. d4 d5 1/2-1/2";
    pgn_parse_game(*game, first.data());
    EXPECT_EQ(game->move_count, 0);
    pgn_parse_game(*game, second.data());
    EXPECT_EQ(game->games, 2);
    EXPECT_EQ(game->move_count, 2);
    EXPECT_EQ(game->result, 0);
}

TEST(PgnReader, EdgeFilesSplitIntoGames) {
    struct Case {
        const char* file;
        int games, with_moves;
    } cases[] = {{"kasparov-deep-blue-1997.pgn", 6, 6}, {"molinari-bordais-1979.pgn", 1, 1},
                 {"stockfish-learning.pgn", 1, 1},      {"variations-nags-and-comments.pgn", 1, 1},
                 {"uci-moves.pgn", 1, 1},                {"utf8-bom.pgn", 2, 0}};
    for (const Case& c : cases) {
        FileCount count = read_file_games(shared_path(std::string("data/pgn/edge/") + c.file));
        EXPECT_EQ(count.games, c.games) << c.file;
        EXPECT_EQ(count.with_moves, c.with_moves) << c.file;
        EXPECT_EQ(count.complete, c.games) << c.file;
    }
    PgnReader missing;
    EXPECT_EQ(pgn_open(missing, "/nonexistent.pgn"), -1);
}

TEST(PgnReader, RealCollectionsReplayCompletely) {
    for (auto [file, games] : {std::pair{"carlsen_all.pgn", 1395}, std::pair{"tcec_cup10_bronze.pgn", 10}}) {
        FileCount count = read_file_games(shared_path(std::string("data/pgn/") + file));
        EXPECT_EQ(count.games, games) << file;
        EXPECT_EQ(count.complete, games) << file;
    }
}
