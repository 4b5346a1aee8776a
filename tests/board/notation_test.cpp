// Move texts and reading them back: coordinate, SAN, Chess960 castling forms
// (every legal move's texts are also read back along the random games).
#include <gtest/gtest.h>

#include <string>

#include "board/notation.h"
#include "board_test_util.h"
#include "core/settings.h"

namespace {

// Restores the two settings that change move text.
struct TextSettings {
    uint8_t uci = options.uci_mode, chess960 = options.chess960;
    ~TextSettings() { options.uci_mode = uci, options.chess960 = chess960; }
};

Move parsed(ThreadBoard& tb, const char* text) {
    Move m = MOVE_NONE;
    parse_move(tb, text, m);
    return m;
}

std::string text_of(ThreadBoard& tb, Move m, int form = 1) {  // 0 coordinate, 1 SAN, 2 and 3 disambiguated SAN
    char t[4][MOVE_TEXT_SIZE];
    move_texts(tb.pos, m, t[0], t[1], t[2], t[3]);
    return t[form];
}

}  // namespace

TEST(Notation, MoveTextsInEveryForm) {
    TextSettings keep;
    auto tb = board_from(START_FEN);
    for (const char* text : {"g1f3", "Nf3", "Ngf3", "N1f3", "Nf3+"}) EXPECT_EQ(parsed(*tb, text), mv("g1", "f3")) << text;
    for (const char* text : {"Nf4", "", "e2e5"}) EXPECT_EQ(parsed(*tb, text), MOVE_NONE) << text;
    // Disambiguation only where another legal move needs it.
    auto knights = board_from("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
    EXPECT_EQ(text_of(*knights, mv("b1", "d2")), "Nbd2");
    EXPECT_EQ(parsed(*knights, "Nfd2"), mv("f3", "d2"));
    auto pinned = board_from("4k3/1b6/8/8/8/5N2/8/1N5K w - - 0 1");
    EXPECT_EQ(text_of(*pinned, mv("b1", "d2")), "Nd2");
    EXPECT_EQ(parsed(*pinned, "Nd2"), mv("b1", "d2"));
    auto rooks = board_from("4k3/8/8/R7/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(text_of(*rooks, mv("a1", "a3")), "R1a3");
    // Promotions; the letter's case follows the mode.
    auto promo = board_from("8/4P3/8/8/8/8/k7/4K3 w - - 0 1");
    for (const char* text : {"e7e8q", "e7e8Q", "e7e8=Q", "e8=Q", "e8q"}) EXPECT_EQ(parsed(*promo, text), mv("e7", "e8", PROMO_QUEEN)) << text;
    EXPECT_EQ(parsed(*promo, "e8=n"), mv("e7", "e8", PROMO_KNIGHT));
    char text[MOVE_TEXT_SIZE];
    options.uci_mode = 1;
    move_text(promo->pos, WHITE, mv("e7", "e8", PROMO_QUEEN), text);
    EXPECT_STREQ(text, "e7e8q");
    options.uci_mode = 0;
    move_text(promo->pos, WHITE, mv("e7", "e8", PROMO_ROOK), text);
    EXPECT_STREQ(text, "e7e8=R");
    move_text(promo->pos, WHITE, MOVE_NONE, text);
    EXPECT_STREQ(text, "null");
    // Captures, en passant and checks.
    auto ep = board_from("4k3/3p4/8/4P3/8/8/8/4K2R b K - 0 1");
    make_move(ep->pos, mv("d7", "d5"));
    EXPECT_EQ(parsed(*ep, "exd6"), mv("e5", "d6"));
    EXPECT_EQ(parsed(*ep, "ed"), mv("e5", "d6"));
    EXPECT_EQ(text_of(*ep, mv("h1", "h8")), "Rh8+");
    EXPECT_EQ(text_of(*ep, mv("h1", "h8"), 2), "Rhh8+");
    EXPECT_EQ(text_of(*ep, mv("h1", "h8"), 3), "R1h8+");
}

TEST(Notation, CastlingInBothChess960Settings) {
    TextSettings keep;
    auto tb = board_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Move oo = mv("e1", "g1", CASTLE_KING_SIDE), ooo = mv("e1", "c1", CASTLE_QUEEN_SIDE);
    for (uint8_t chess960 : {0, 1}) {
        options.chess960 = chess960;
        for (const char* text : {"O-O", "0-0", "o-o", "e1g1", "e1h1"}) EXPECT_EQ(parsed(*tb, text), oo) << text;
        for (const char* text : {"O-O-O", "e1c1", "e1a1"}) EXPECT_EQ(parsed(*tb, text), ooo) << text;
    }
    char text[MOVE_TEXT_SIZE];
    options.chess960 = 1;
    move_text(tb->pos, WHITE, oo, text);
    EXPECT_STREQ(text, "e1h1");
    options.chess960 = 0;
    move_text(tb->pos, WHITE, ooo, text);
    EXPECT_STREQ(text, "e1c1");
    EXPECT_EQ(text_of(*tb, ooo), "o-o-o");
    // Chess960 king on b1: its step to c1 reads like the castling move's other form.
    auto c960 = board_from("4k3/8/8/8/8/8/8/RK6 w A - 0 1");
    options.chess960 = 1;
    EXPECT_EQ(parsed(*c960, "b1a1"), mv("b1", "c1", CASTLE_QUEEN_SIDE));
    testing::internal::CaptureStdout();
    EXPECT_EQ(parsed(*c960, "b1c1"), MOVE_NONE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
}
