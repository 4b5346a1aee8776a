// The hand-crafted evaluation must not care which colour or which wing a
// position is played on: thousands of positions from random games against
// their colour-flipped and left-right mirrored twins.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "board/types.h"
#include "eval/params.h"
#include "evaluate_support.h"

namespace {

// Two queens of one colour break symmetry on purpose: pins against "the" queen use the lowest-numbered one.
bool single_queens(const ThreadBoard& tb) {
    return popcount(tb.pos.pieces[WHITE][QUEEN]) <= 1 && popcount(tb.pos.pieces[BLACK][QUEEN]) <= 1;
}

// Distinct values on every square, so that a wrongly oriented table lookup shows.
void scramble_tables() {
    std::mt19937 rng(7);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) {
        int mg = int(rng() % 61) - 30, eg = int(rng() % 61) - 30;
        param_table[i] = {make_score(mg, eg), float(mg), float(eg), {}};
        snprintf(param_table[i].name, sizeof param_table[i].name, "PST");
    }
}

}  // namespace

TEST(HceSymmetry, ColourFlipAndMirrorOverRandomGames) {
    init_eval_tests();
    scramble_tables();
    auto es = fresh_eval_state();
    int flips = 0, mirrors = 0;
    for (const std::string& fen : random_game_positions(40, 160, 2024)) {
        auto tb = board_at(fen);
        if (!single_queens(*tb)) continue;
        int score = hce_evaluate(*es, tb->pos);
        std::string flipped = flip_fen(fen);
        ASSERT_EQ(hce_of(flipped), score) << fen << "  vs  " << flipped;
        flips++;
        if (tb->pos.castleRights == 0) {
            std::string mirrored = mirror_fen(fen);
            ASSERT_EQ(hce_of(mirrored), score) << fen << "  vs  " << mirrored;
            mirrors++;
        }
    }
    EXPECT_GT(flips, 3000);
    EXPECT_GT(mirrors, 1000);
    init_eval_tests();
}
