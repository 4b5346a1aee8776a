// Move texts and reading them back: coordinate, SAN, Chess960 castling forms
// (every legal move's texts are also read back along the random games).

#include "test_support.h"

namespace {

const char* const START = START_FEN;
const char* const KNIGHTS = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
const char* const PINNED = "4k3/1b6/8/8/8/5N2/8/1N5K w - - 0 1";
const char* const PROMO = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
const char* const EP = "4k3/8/8/3pP3/8/8/8/4K2R w K d6 0 2";
const char* const CASTLING = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";

}  // namespace

TEST(Notation, TextsReadAndWrittenInEveryForm) {
    const uint8_t uci = options.uci_mode, chess960 = options.chess960;
    const Move oo = mv("e1", "g1", CASTLE_KING_SIDE), ooo = mv("e1", "c1", CASTLE_QUEEN_SIDE);
    // Forms people type that the writer never produces (what it produces is
    // read back along the random games), in both castling modes.
    const struct { const char* fen; const char* text; Move move; } read[] = {
        {START, "Ngf3", mv("g1", "f3")}, {START, "N1f3", mv("g1", "f3")}, {START, "Nf3+", mv("g1", "f3")},
        {START, "Nf4", MOVE_NONE}, {START, "", MOVE_NONE}, {START, "e2e5", MOVE_NONE}, {PINNED, "Nd2", mv("b1", "d2")},
        {PROMO, "e7e8Q", mv("e7", "e8", PROMO_QUEEN)}, {PROMO, "e8q", mv("e7", "e8", PROMO_QUEEN)},
        {PROMO, "e8=n", mv("e7", "e8", PROMO_KNIGHT)}, {EP, "ed", mv("e5", "d6")}, {CASTLING, "O-O", oo},
        {CASTLING, "0-0", oo}, {CASTLING, "e1g1", oo}, {CASTLING, "e1h1", oo}, {CASTLING, "O-O-O", ooo},
        {CASTLING, "e1c1", ooo}, {CASTLING, "e1a1", ooo},
    };
    for (uint8_t c960 : {0, 1}) {
        options.chess960 = c960;
        for (const auto& r : read) {
            Move m = MOVE_NONE;
            parse_move(*board_from(r.fen), r.text, m);
            EXPECT_EQ(m, r.move) << r.fen << " " << r.text << " chess960 " << int(c960);
        }
    }
    // Forms: 0 coordinate, 1 SAN, 2 and 3 SAN with file and rank; move_text follows the settings.
    const struct { const char* fen; Move move; int form, uci, chess960; const char* text; } write[] = {
        {KNIGHTS, mv("b1", "d2"), 1, 0, 0, "Nbd2"}, {PINNED, mv("b1", "d2"), 1, 0, 0, "Nd2"},
        {"4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", mv("a1", "a3"), 1, 0, 0, "R1a3"}, {EP, mv("h1", "h8"), 1, 0, 0, "Rh8+"},
        {EP, mv("h1", "h8"), 2, 0, 0, "Rhh8+"}, {EP, mv("h1", "h8"), 3, 0, 0, "R1h8+"},
        {CASTLING, ooo, 1, 0, 0, "o-o-o"}, {PROMO, mv("e7", "e8", PROMO_QUEEN), -1, 1, 0, "e7e8q"},
        {PROMO, mv("e7", "e8", PROMO_ROOK), -1, 0, 0, "e7e8=R"}, {PROMO, MOVE_NONE, -1, 0, 0, "null"},
        {CASTLING, oo, -1, 1, 1, "e1h1"}, {CASTLING, ooo, -1, 1, 0, "e1c1"},
    };
    for (const auto& w : write) {
        options.uci_mode = uint8_t(w.uci), options.chess960 = uint8_t(w.chess960);
        auto tb = board_from(w.fen);
        char t[4][MOVE_TEXT_SIZE];
        move_texts(tb->pos, w.move, t[0], t[1], t[2], t[3]);
        if (w.form < 0) move_text(tb->pos, tb->pos.side, w.move, t[0]);
        EXPECT_STREQ(t[std::max(w.form, 0)], w.text) << w.fen;
    }
    // Chess960 king on b1: its step to c1 reads like the castling move's other form.
    options.chess960 = 1;
    auto c960 = board_from("4k3/8/8/8/8/8/8/RK6 w A - 0 1");
    Move m = MOVE_NONE;
    EXPECT_EQ(parse_move(*c960, "b1a1", m), 1);
    EXPECT_EQ(m, mv("b1", "c1", CASTLE_QUEEN_SIDE));
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_move(*c960, "b1c1", m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
    options.uci_mode = uci, options.chess960 = chess960;
}
