// Repetitions along a game history.

#include "search/draw.h"
#include "test_support.h"

namespace {

void play(ThreadBoard& tb, std::initializer_list<const char*> moves) {
    for (const char* text : moves) {
        Move m;
        ASSERT_EQ(parse_move(tb, text, m), 1) << text;
        ASSERT_EQ(make_game_move(tb, m), 0) << text;
    }
}

}  // namespace

// The fifty-move boundary (99 plays on, 100 is claimed) is in the engine transcripts.
TEST(DrawRules, RepetitionsAlongTheGame) {
    auto tb = board_from(START_FEN);
    play(*tb, {"Nf3", "Nf6", "Ng1", "Ng8"});
    EXPECT_FALSE(is_draw_by_rule(*tb));  // twice
    EXPECT_TRUE(is_repetition(*tb, 0));  // inside a search, once is enough
    play(*tb, {"Nf3", "Nf6", "Ng1", "Ng8"});
    EXPECT_TRUE(is_draw_by_rule(*tb));   // three times
    play(*tb, {"e4"});                   // an irreversible move ends the chance
    EXPECT_FALSE(is_draw_by_rule(*tb));
}

// White shuffles the rook, Black's king walks a triangle, and White passes
// once: the start position comes back with White to move, but only through
// the null move, which the walk does not cross. Recorded as a real move
// instead, the same history is a repetition.
TEST(DrawRules, NullMoveEndsTheWalk) {
    auto tb = board_from("4k3/8/8/8/8/8/8/R3K3 w - - 10 40");
    play(*tb, {"Ra2", "Kd8", "Ra1", "Kd7"});
    make_null_move(tb->pos);
    Move back;
    ASSERT_EQ(parse_move(*tb, "Ke8", back), 1);
    make_move(tb->pos, back);
    ASSERT_EQ(tb->histIndex, 6);
    EXPECT_EQ(tb->history[0].key, tb->pos.key);
    EXPECT_FALSE(is_repetition(*tb, 0));
    tb->history[4].move = make_move_code(4, 5);  // as if Ke1-f1 had been played from there
    EXPECT_TRUE(is_repetition(*tb, 0));
}
