// FEN and EPD text, castling set-up, make/unmake edge cases, game moves and
// the game history limit, and the board print.
#include <gtest/gtest.h>

#include <cstring>

#include "board/perft.h"
#include "board_test_util.h"

namespace {

void make(ThreadBoard& tb, const char* coordinate) {
    const Move m = find_move(tb, coordinate);
    ASSERT_NE(m, MOVE_NONE) << coordinate;
    make_move(tb.pos, m);
}

std::string fen_of(const Position& pos) {
    char fen[128];
    write_fen(pos, fen, 1);
    return fen;
}

}  // namespace

TEST(Fen, StartPositionAndCastlingSetUp) {
    auto tb = board_from(START_FEN);
    const Position& pos = tb->pos;
    EXPECT_EQ(pos.castleRights, 15);
    const int rooks[4] = {sq("h1"), sq("a1"), sq("h8"), sq("a8")};
    const Bitboard paths[4] = {bb("f1") | bb("g1"), bb("b1") | bb("c1") | bb("d1"), bb("f8") | bb("g8"),
                               bb("b8") | bb("c8") | bb("d8")};
    for (int r = 0; r < 4; r++) {
        EXPECT_EQ(pos.castleRook[r], rooks[r]);
        EXPECT_EQ(pos.castlePath[r], paths[r]);
    }
    EXPECT_EQ(pos.material[BLACK], compute_material(pos, BLACK));
    EXPECT_EQ(fen_of(pos), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0");
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
}

TEST(Fen, BadTextIsRefusedWithoutWritingOutsideTheBoard) {
    auto tb = board_from(START_FEN);
    const char* bad[] = {
        "", "rnbqkbnr/pppppppp/8/8", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK",
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",    // rank past file h
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w",     // digit 9
        "rnbqkbnr/pppppppp/44/8/8/8/PPPPPPPP/RNBQKBNR/8 w",  // a ninth rank
        "8/8/8/8/8/8/8/7K7k w", "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w", "4k3/8/8/8/8/8/8/8 w",
        "4k3/4R3/8/8/8/8/8/4K3 w",  // side not to move in check
        "8/8/8/3kK3/8/8/8/8 w", "4k3/8/8/8/8/8/8/4KK2 w", "4k3/8/8/8/8/8/8/P3K3 w",
        "QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/4K2k w", "hello world", "////////",
    };
    for (const char* fen : bad) {
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
}

TEST(Epd, SplitsFieldsAndOperations) {
    const char* line = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 bm Nf3 Nc3; id \"start 1\"; c0 \"x y\";";
    char fen[200], bm[200], am[200], ce[200], sc[200], gr[200], id[200], c0[200];
    split_epd(line, fen, bm, am, ce, sc, gr, id, c0);
    EXPECT_STREQ(fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_STREQ(bm, "Nf3Nc3");
    EXPECT_STREQ(id, "\"start1\"");
    EXPECT_STREQ(c0, "\"xy\"");
    EXPECT_STREQ(am, "");
    split_epd("8/8/8/8/8/8/8/K6k w - - ce 12; am Kb2", fen, bm, am, ce, sc, gr, id, c0);
    EXPECT_STREQ(ce, "12");
    EXPECT_STREQ(bm, "");
}

TEST(MakeMove, EnPassantCastlingPromotionAndNullMove) {
    auto quiet = board_from("4k3/8/8/8/8/8/8/4K3 w - - 12 40");
    make(*quiet, "e1d1");
    EXPECT_EQ(fen_of(quiet->pos), "4k3/8/8/8/8/8/8/3K4 b - - 13 1");
    // A double push sets the en-passant square only when a pawn can take.
    auto alone = board_from("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    make(*alone, "e2e4");
    EXPECT_EQ(alone->pos.epSquare, NO_SQUARE);
    auto capturable = board_from("4k3/8/8/8/3p4/8/4P3/4K3 w - - 3 1");
    make(*capturable, "e2e4");
    EXPECT_EQ(capturable->pos.epSquare, sq("e3"));
    // The null move drops it (and its key), keeps the counters, and comes back exactly.
    const Position before = capturable->pos;
    make_null_move(capturable->pos);
    EXPECT_EQ(capturable->pos.epSquare, NO_SQUARE);
    EXPECT_EQ(capturable->pos.key, compute_key(capturable->pos));
    EXPECT_EQ(capturable->lastMove, MOVE_NONE);
    EXPECT_EQ(capturable->history[1].move, MOVE_NONE);
    unmake_null_move(capturable->pos);
    EXPECT_EQ(capturable->pos.key, before.key);
    EXPECT_EQ(capturable->pos.epSquare, before.epSquare);
    // A capture on h1 ends white's king-side right; the key moves by the rights entries.
    auto rights = board_from("r3k2r/8/8/8/8/8/6b1/R3K2R b KQkq - 0 1");
    const uint64_t key = rights->pos.key;
    make(*rights, "g2h1");
    const int bishop = make_piece(BLACK, BISHOP) * 64, rook = make_piece(WHITE, ROOK) * 64;
    EXPECT_EQ(rights->pos.castleRights, 14);
    EXPECT_EQ(rights->pos.key, key ^ KeyTable[15] ^ KeyTable[14] ^ KeyTable[bishop + sq("g2")] ^
                                   KeyTable[bishop + sq("h1")] ^ KeyTable[rook + sq("h1")]);
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
    const char* moves[][2] = {{"a8", "b8"}, {"f1", "f2"}, {"e8", "d7"}, {"e7", "e8"}};
    for (auto [from, to] : moves) ASSERT_EQ(make_game_move(*tb, mv(from, to)), 0) << from << to;
    EXPECT_EQ(tb->pos.board[sq("e8")], make_piece(WHITE, QUEEN));

    auto game = board_from("4k1n1/8/8/8/8/8/8/1N2K3 w - - 0 1");
    const char* shuffle[4] = {"b1c3", "g8f6", "c3b1", "f6g8"};
    std::vector<uint64_t> keys;
    for (int ply = 0; ply < 3000; ply++) {
        keys.push_back(game->pos.key);
        ASSERT_EQ(make_game_move(*game, find_move(*game, shuffle[ply % 4])), 0);
        ASSERT_LE(game->histIndex, GAME_HISTORY_LIMIT + 1);
    }
    const int held = game->histIndex;
    EXPECT_GE(held, GAME_HISTORY_KEEP);
    for (int i = 0; i < held; i++) ASSERT_EQ(game->history[i].key, keys[keys.size() - held + i]) << i;
    int taken = 0;
    while (unmake_game_move(*game) == 0) taken++;
    EXPECT_EQ(taken, held);
    // A copy for a search thread is independent of the game.
    auto copy = std::make_unique<ThreadBoard>();
    init_thread_board(*copy);
    copy_game(*copy, *tb);
    EXPECT_EQ(copy->pos.owner, copy.get());
    EXPECT_EQ(copy->ply[5].moves, copy->lists[5]);
    const int game_plies = tb->histIndex;
    make_move(copy->pos, legal_moves(*copy)[0]);
    EXPECT_EQ(copy->histIndex, game_plies + 1);
    EXPECT_EQ(tb->histIndex, game_plies);
}

TEST(PrintBoard, StartPosition) {
    auto tb = board_from(START_FEN);
    testing::internal::CaptureStdout();
    print_board(tb->pos);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n  r n b q k b n r\n  o o o o o o o o\n"
              "  - + - + - + - +\n  + - + - + - + -\n  - + - + - + - +\n  + - + - + - + -\n  P P P P P P P P\n"
              "  R N B Q K B N R\nwhite\n\n");
}
