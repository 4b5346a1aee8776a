// FEN and EPD text, castling set-up, make-move edge cases, game moves and the
// game history limit, and the board print (what the random games leave out).

#include <cstring>

#include "board/keys.h"
#include "board/perft.h"
#include "test_support.h"

TEST(Fen, CastlingAndEnPassantSetUp) {
    // "K" with two rooks east of the king grants nothing; Shredder letters equal KQkq; a king off its rank has none.
    EXPECT_EQ(board_from("4k3/8/8/8/8/8/8/4KRR1 w K -")->pos.castleRights, 0);
    auto letters = board_from("rk5r/8/8/8/8/8/8/RK5R w HAha -"), standard = board_from("rk5r/8/8/8/8/8/8/RK5R w KQkq -");
    EXPECT_EQ(letters->pos.castleRights, 15);
    EXPECT_EQ(memcmp(letters->pos.castleRook, standard->pos.castleRook, 4), 0);
    EXPECT_EQ(letters->pos.key, standard->pos.key);
    EXPECT_EQ(board_from("r3k2r/8/8/8/8/8/4K3/R6R w KQkq -")->pos.castleRights, 12);
    // The en-passant square only with a pawn that made the double step; it is in the key.
    auto ep = board_from("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1"), none = board_from("4k3/8/8/8/4P3/8/8/4K3 b - - 0 1");
    EXPECT_EQ(ep->pos.epSquare, sq("e3"));
    EXPECT_EQ(ep->pos.key ^ none->pos.key, KeyTable[sq("e3")]);
    EXPECT_EQ(board_from("4k3/8/8/8/8/8/8/4K3 b - e3 0 1")->pos.epSquare, NO_SQUARE);
    // A double push sets it only when a pawn can take.
    for (auto [fen, square] : {std::pair{"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", NO_SQUARE},
                               std::pair{"4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1", sq("e3")}}) {
        auto tb = board_from(fen);
        make_move(tb->pos, mv("e2", "e4"));
        EXPECT_EQ(tb->pos.epSquare, square) << fen;
    }
}

TEST(Fen, BadTextIsRefusedWithoutWritingOutsideTheBoard) {
    auto tb = board_from(START_FEN);
    for (const char* fen : {
             "", "rnbqkbnr/pppppppp/8/8", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK",
             "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",    // rank past file h
             "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w",     // digit 9
             "rnbqkbnr/pppppppp/44/8/8/8/PPPPPPPP/RNBQKBNR/8 w",  // a ninth rank
             "8/8/8/8/8/8/8/7K7k w", "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w", "4k3/8/8/8/8/8/8/8 w",
             "4k3/4R3/8/8/8/8/8/4K3 w",  // side not to move in check
             "8/8/8/3kK3/8/8/8/8 w", "4k3/8/8/8/8/8/8/4KK2 w", "4k3/8/8/8/8/8/8/P3K3 w",
             "QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/4K2k w", "hello world", "////////"}) {
        EXPECT_EQ(set_fen(tb->pos, fen), -1) << fen;
        int on_board = 0;
        for (int s = 0; s < 64; s++) on_board += tb->pos.board[s] != 0;
        EXPECT_EQ(popcount(tb->pos.occupied()), on_board) << fen;
    }
    // The halfmove field is terminated in place, so the caller finds what follows.
    char text[] = "4k3/8/8/8/8/8/8/4K3 b - - 12 40 moves e1e2";
    ASSERT_EQ(set_fen(tb->pos, text), 0);
    EXPECT_EQ(tb->pos.fifty, 12);
    EXPECT_STREQ(text + strlen(text) + 1, "40 moves e1e2");
    // EPD: the four fields and the operands, blanks inside them dropped.
    EpdFields f;
    split_epd("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 bm Nf3 Nc3; id \"start 1\"; c0 \"x y\";", f);
    EXPECT_EQ(std::string(f.fen) + "|" + f.bm + "|" + f.id + "|" + f.c0 + "|" + f.am,
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -|Nf3Nc3|\"start1\"|\"xy\"|");
    split_epd("8/8/8/8/8/8/8/K6k w - - ce 12; am Kb2", f);
    EXPECT_EQ(std::string(f.ce) + "|" + f.bm + "|" + f.am, "12||Kb2");
}

TEST(MakeMove, OddCastlingCodesAndPromotionsWithoutAFlag) {
    // Chess960: king f1, rook g1 castle into king g1, rook f1 whatever the destination says.
    auto c960 = board_from("4k3/8/8/8/8/8/8/5KR1 w G - 0 1");
    const Move castle = make_move_code(sq("f1"), sq("a5"), CASTLE_KING_SIDE);
    ASSERT_TRUE(is_legal(c960->pos, WHITE, castle));
    make_move(c960->pos, castle);
    EXPECT_EQ(c960->pos.board[sq("g1")], make_piece(WHITE, KING));
    EXPECT_EQ(c960->history[0].move, mv("f1", "g1", CASTLE_KING_SIDE));
    unmake_move(c960->pos);
    EXPECT_EQ(c960->pos.board[sq("g1")], make_piece(WHITE, ROOK));
    // A pawn reaching the last rank without a flag becomes a queen.
    auto promo = board_from("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    make_move(promo->pos, mv("a7", "a8"));
    EXPECT_EQ(promo->pos.material[WHITE], MAT_QUEEN);
    EXPECT_EQ(promo->history[0].move, mv("a7", "a8", PROMO_QUEEN));
}

TEST(GameHistory, GameMovesAreCheckedAndLongGamesKeepTheirRecentRecords) {
    auto tb = board_from("r3k2r/4P3/8/8/8/8/8/R3K2R w Kkq - 0 1");
    const uint64_t key = tb->pos.key;
    for (Move wrong : {mv("e1", "c1", CASTLE_QUEEN_SIDE), mv("e8", "d8"), mv("e1", "e3"), Move(MOVE_NONE)})
        EXPECT_EQ(make_game_move(*tb, wrong), -1) << wrong;
    EXPECT_EQ(tb->pos.key, key);
    ASSERT_EQ(make_game_move(*tb, mv("e1", "h1", CASTLE_KING_SIDE)), 0);  // king takes own rook
    EXPECT_EQ(tb->lastMove, mv("e1", "g1", CASTLE_KING_SIDE));
    EXPECT_EQ(make_game_move(*tb, mv("e8", "d8")), -1);  // d8 is attacked by the e7 pawn
    for (auto [from, to] : {std::pair{"a8", "b8"}, {"f1", "f2"}, {"e8", "d7"}, {"e7", "e8"}})
        ASSERT_EQ(make_game_move(*tb, mv(from, to)), 0) << from << to;
    EXPECT_EQ(tb->pos.board[sq("e8")], make_piece(WHITE, QUEEN));

    auto game = board_from("4k1n1/8/8/8/8/8/8/1N2K3 w - - 0 1");
    const Move shuffle[4] = {mv("b1", "c3"), mv("g8", "f6"), mv("c3", "b1"), mv("f6", "g8")};
    std::vector<uint64_t> keys;
    for (int ply = 0; ply < 3000; ply++) {
        keys.push_back(game->pos.key);
        ASSERT_EQ(make_game_move(*game, shuffle[ply % 4]), 0);
        ASSERT_LE(game->histIndex, GAME_HISTORY_LIMIT + 1);
    }
    const int held = game->histIndex;
    EXPECT_GE(held, GAME_HISTORY_KEEP);
    for (int i = 0; i < held; i++) ASSERT_EQ(game->history[i].key, keys[keys.size() - held + i]) << i;
    int taken = 0;
    while (unmake_game_move(*game) == 0) taken++;
    EXPECT_EQ(taken, held);
}

TEST(PrintBoard, StartPosition) {
    testing::internal::CaptureStdout();
    print_board(board_from(START_FEN)->pos);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n  r n b q k b n r\n  o o o o o o o o\n"
              "  - + - + - + - +\n  + - + - + - + -\n  - + - + - + - +\n  + - + - + - + -\n  P P P P P P P P\n"
              "  R N B Q K B N R\nwhite\n\n");
}
