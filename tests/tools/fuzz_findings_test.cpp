// Inputs that fuzzing found to break the tools, kept as they were found.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "tools/pgn.h"

using namespace std::string_literals;

TEST(FuzzFindings, PgnNulBytesReadAsBlanks) {
    // Found by fuzzing: a line that starts with a NUL byte.
    const std::string path = make_scratch_dir("pgn-nul") + "/nul.pgn";
    write_file(path, "[Event \"a\"]\n[Result \"1-0\"]\n\n\0\0\0" "1. e4 e5 2. Nf3\0 Nc6 3. Bb5 a6 1-0\n\0\n"s);
    PgnReader reader;
    ASSERT_EQ(pgn_open(reader, path.c_str()), 0);
    std::string text;
    ASSERT_TRUE(pgn_next_game(reader, text));
    PgnGame game{};
    pgn_parse_game(game, text.data());
    ASSERT_EQ(game.move_count, 6);
    EXPECT_STREQ(game.moves[2], "Nf3");
    EXPECT_STREQ(game.moves[3], "Nc6");
    EXPECT_EQ(game.result, 1);
    EXPECT_FALSE(pgn_next_game(reader, text));
    pgn_close(reader);
}
