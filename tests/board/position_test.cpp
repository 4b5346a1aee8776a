// FEN and EPD text, castling set-up, make/unmake edge cases and the game
// history limit.
#include <gtest/gtest.h>

#include <cstring>

#include "board/perft.h"
#include "board_test_util.h"

namespace {

int sq(const char* name) { return parse_square(name); }
Bitboard bb(const char* name) { return square_bb(parse_square(name)); }
Move mv_code(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

void make(ThreadBoard& tb, const char* coordinate) {
    Move m = find_move(tb, coordinate);
    ASSERT_NE(m, MOVE_NONE) << coordinate;
    make_move(tb.pos, m);
}

}  // namespace

TEST(Fen, StartPositionFields) {
    auto tb = board_from(START_FEN);
    const Position& pos = tb->pos;
    EXPECT_EQ(pos.castleRights, 15);
    EXPECT_EQ(pos.castleRook[0], sq("h1"));
    EXPECT_EQ(pos.castleRook[1], sq("a1"));
    EXPECT_EQ(pos.castleRook[2], sq("h8"));
    EXPECT_EQ(pos.castleRook[3], sq("a8"));
    EXPECT_EQ(pos.castlePath[0], bb("f1") | bb("g1"));
    EXPECT_EQ(pos.castlePath[1], bb("b1") | bb("c1") | bb("d1"));
    EXPECT_EQ(pos.castlePath[2], bb("f8") | bb("g8"));
    EXPECT_EQ(pos.castlePath[3], bb("b8") | bb("c8") | bb("d8"));
    for (int c = WHITE; c <= BLACK; c++) {
        EXPECT_EQ(material_count(pos.material[c], PAWN), 8);
        EXPECT_EQ(material_count(pos.material[c], KNIGHT), 2);
        EXPECT_EQ(material_count(pos.material[c], BISHOP), 2);
        EXPECT_EQ(material_count(pos.material[c], ROOK), 2);
        EXPECT_EQ(material_count(pos.material[c], QUEEN), 1);
    }
    EXPECT_EQ(pos.epSquare, NO_SQUARE);
    EXPECT_EQ(tb->histIndex, 0);
    EXPECT_EQ(tb->plyIndex, 1);
    char fen[128];
    write_fen(pos, fen, 1);
    EXPECT_STREQ(fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0");
}

TEST(Fen, BadTextIsRefusedWithoutWritingOutsideTheBoard) {
    auto tb = board_from(START_FEN);
    const char* bad[] = {
        "",                                                       // nothing
        "rnbqkbnr/pppppppp/8/8",                                  // truncated
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK",               // last rank cut short
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",         // rank past file h
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w",          // digit 9 leaves the rank short
        "rnbqkbnr/pppppppp/44/8/8/8/PPPPPPPP/RNBQKBNR/8 w",       // a ninth rank
        "8/8/8/8/8/8/8/7K7k w",                                   // runs past file h
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",          // no black king
        "4k3/8/8/8/8/8/8/8 w",                                    // no white king
        "4k3/4R3/8/8/8/8/8/4K3 w",                                // side not to move in check
        "8/8/8/3kK3/8/8/8/8 w",                                   // kings touching
        "4k3/8/8/8/8/8/8/4KK2 w",                                 // two white kings
        "4k3/8/8/8/8/8/8/P3K3 w",                                 // pawn on the first rank
        "QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/4K2k w",                     // material no game reaches
        "hello world",
        "////////",
    };
    for (const char* fen : bad) {
        EXPECT_EQ(set_fen(tb->pos, fen), -1) << fen;
        Bitboard all = tb->pos.pieces[WHITE][0] | tb->pos.pieces[BLACK][0];
        int on_board = 0;
        for (int s = 0; s < 64; s++) on_board += tb->pos.board[s] != 0;
        EXPECT_EQ(popcount(all), on_board) << fen;
    }
    EXPECT_EQ(set_fen(tb->pos, "4k3/8/8/8/8/8/8/4K3 b - - 7 30"), 0);
    EXPECT_EQ(tb->pos.side, BLACK);
    EXPECT_EQ(tb->pos.fifty, 7);
}

TEST(Fen, HalfMoveFieldIsTerminatedInPlace) {
    auto tb = board_from(START_FEN);
    char text[] = "4k3/8/8/8/8/8/8/4K3 w - - 12 40 moves e1e2";
    ASSERT_EQ(set_fen(tb->pos, text), 0);
    EXPECT_STREQ(text, "4k3/8/8/8/8/8/8/4K3 w - - 12");
    EXPECT_STREQ(text + strlen(text) + 1, "40 moves e1e2");
}

TEST(Fen, CastlingFieldRules) {
    // "K" with two rooks east of the king grants nothing.
    auto tb = board_from("4k3/8/8/8/8/8/8/4KRR1 w K -");
    EXPECT_EQ(tb->pos.castleRights, 0);
    // Shredder letters against the kings' files give the same rights as KQkq.
    auto letters = board_from("rk5r/8/8/8/8/8/8/RK5R w HAha -");
    auto standard = board_from("rk5r/8/8/8/8/8/8/RK5R w KQkq -");
    EXPECT_EQ(letters->pos.castleRights, 15);
    EXPECT_EQ(0, memcmp(letters->pos.castleRook, standard->pos.castleRook, 4));
    EXPECT_EQ(letters->pos.key, standard->pos.key);
    // A king off its first rank gets no rights.
    EXPECT_EQ(board_from("r3k2r/8/8/8/8/8/4K3/R6R w KQkq -")->pos.castleRights, 12);
}

TEST(Fen, EnPassantSquareIsStoredAndKeyed) {
    auto tb = board_from("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    EXPECT_EQ(tb->pos.epSquare, sq("e3"));
    EXPECT_EQ(tb->pos.key, compute_key(tb->pos));
    auto none = board_from("4k3/8/8/8/4P3/8/8/4K3 b - - 0 1");
    EXPECT_EQ(tb->pos.key ^ none->pos.key, KeyTable[sq("e3")]);
    // Without the pawn that could have made the double step there is no en-passant square.
    EXPECT_EQ(board_from("4k3/8/8/8/8/8/8/4K3 b - e3 0 1")->pos.epSquare, NO_SQUARE);
}

TEST(Fen, CountersAfterAQuietMove) {
    auto tb = board_from("4k3/8/8/8/8/8/8/4K3 w - - 12 40");
    make(*tb, "e1d1");
    char fen[128];
    write_fen(tb->pos, fen, 1);
    EXPECT_STREQ(fen, "4k3/8/8/8/8/8/8/3K4 b - - 13 1");
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

TEST(MakeMove, DoublePushSetsEnPassantOnlyWhenCapturable) {
    auto tb = board_from("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    make(*tb, "e2e4");
    EXPECT_EQ(tb->pos.epSquare, NO_SQUARE);
    uint64_t by_double = tb->pos.key;
    auto steps = board_from("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    make(*steps, "e2e3");
    make(*steps, "e8d8");
    make(*steps, "e3e4");
    make(*steps, "d8e8");
    EXPECT_EQ(steps->pos.key, by_double);

    auto capturable = board_from("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1");
    make(*capturable, "e2e4");
    EXPECT_EQ(capturable->pos.epSquare, sq("e3"));
    EXPECT_EQ(capturable->pos.key, compute_key(capturable->pos));
}

TEST(MakeMove, CastlingAndRights) {
    auto tb = board_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 5 1");
    make(*tb, "e1g1");
    EXPECT_EQ(tb->pos.fifty, 0);
    EXPECT_EQ(tb->pos.board[sq("f1")], make_piece(WHITE, ROOK));
    EXPECT_EQ(tb->pos.kingSq[WHITE], sq("g1"));
    EXPECT_EQ(tb->pos.castleRights, BLACK_OO | BLACK_OOO);

    // A capture on h1 ends white's king-side right; the key moves by the rights entries.
    auto rights = board_from("r3k2r/8/8/8/8/8/6b1/R3K2R b KQkq - 0 1");
    uint64_t before = rights->pos.key;
    make(*rights, "g2h1");
    uint64_t expected = before ^ KeyTable[15] ^ KeyTable[14] ^ KeyTable[make_piece(BLACK, BISHOP) * 64 + sq("g2")] ^
                        KeyTable[make_piece(BLACK, BISHOP) * 64 + sq("h1")] ^ KeyTable[make_piece(WHITE, ROOK) * 64 + sq("h1")];
    EXPECT_EQ(rights->pos.castleRights, 14);
    EXPECT_EQ(rights->pos.key, expected);

    // Chess960: king f1, rook g1 castles into king g1, rook f1.
    auto c960 = board_from("4k3/8/8/8/8/8/8/5KR1 w G - 0 1");
    Move castle = make_move_code(sq("f1"), sq("a5"), CASTLE_KING_SIDE);  // any destination: flag decides
    ASSERT_TRUE(is_legal(c960->pos, WHITE, castle));
    make_move(c960->pos, castle);
    EXPECT_EQ(c960->pos.board[sq("g1")], make_piece(WHITE, KING));
    EXPECT_EQ(c960->pos.board[sq("f1")], make_piece(WHITE, ROOK));
    EXPECT_EQ(c960->history[0].move, make_move_code(sq("f1"), sq("g1"), CASTLE_KING_SIDE));
    unmake_move(c960->pos);
    EXPECT_EQ(c960->pos.board[sq("f1")], make_piece(WHITE, KING));
    EXPECT_EQ(c960->pos.board[sq("g1")], make_piece(WHITE, ROOK));
}

TEST(MakeMove, PromotionWithoutFlagMakesAQueen) {
    auto tb = board_from("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    make_move(tb->pos, make_move_code(sq("a7"), sq("a8")));
    EXPECT_EQ(tb->pos.board[sq("a8")], make_piece(WHITE, QUEEN));
    EXPECT_EQ(tb->pos.material[WHITE], MAT_QUEEN);
    EXPECT_EQ(tb->history[0].move, make_move_code(sq("a7"), sq("a8"), PROMO_QUEEN));
    unmake_move(tb->pos);
    EXPECT_EQ(tb->pos.board[sq("a7")], make_piece(WHITE, PAWN));
    EXPECT_EQ(tb->pos.material[WHITE], MAT_PAWN);
}

TEST(MakeMove, NullMoveKeepsTheCountersAndDropsEnPassant) {
    auto tb = board_from("4k3/8/8/8/3p4/8/4P3/4K3 w - - 3 1");
    make(*tb, "e2e4");
    Position before = tb->pos;
    Move last = tb->lastMove;
    make_null_move(tb->pos);
    EXPECT_EQ(tb->pos.epSquare, NO_SQUARE);
    EXPECT_EQ(tb->pos.key, compute_key(tb->pos));
    EXPECT_EQ(tb->pos.fifty, before.fifty);
    EXPECT_EQ(tb->lastMove, MOVE_NONE);
    EXPECT_EQ(tb->history[1].move, MOVE_NONE);
    EXPECT_EQ(tb->histIndex, 2);
    EXPECT_EQ(tb->plyIndex, 3);
    unmake_null_move(tb->pos);
    EXPECT_EQ(tb->pos.key, before.key);
    EXPECT_EQ(tb->pos.epSquare, before.epSquare);
    EXPECT_EQ(tb->pos.side, before.side);
    EXPECT_EQ(tb->lastMove, last);
}

TEST(GameHistory, LongGamesKeepTheRecentRecordsAndStayInsideTheArray) {
    auto tb = board_from("4k1n1/8/8/8/8/8/8/1N2K3 w - - 0 1");
    const char* shuffle[4] = {"b1c3", "g8f6", "c3b1", "f6g8"};
    std::vector<uint64_t> keys;
    for (int ply = 0; ply < 3000; ply++) {
        keys.push_back(tb->pos.key);
        ASSERT_EQ(make_game_move(*tb, find_move(*tb, shuffle[ply % 4])), 0);
        ASSERT_LE(tb->histIndex, GAME_HISTORY_LIMIT + 1);
        ASSERT_EQ(tb->plyIndex, 1);
    }
    // The records still held are the last ones played, in order.
    for (int i = 0; i < tb->histIndex; i++)
        EXPECT_EQ(tb->history[i].key, keys[keys.size() - tb->histIndex + i]) << i;
    int held = tb->histIndex, taken = 0;
    EXPECT_GE(held, GAME_HISTORY_KEEP);
    while (unmake_game_move(*tb) == 0) taken++;
    EXPECT_EQ(taken, held);
    EXPECT_EQ(tb->pos.key, keys[keys.size() - held]);
}

TEST(GameHistory, GameMovesAreCheckedBeforeTheyAreMade) {
    auto tb = board_from("r3k2r/4P3/8/8/8/8/8/R3K2R w Kkq - 0 1");
    uint64_t key = tb->pos.key;
    EXPECT_EQ(make_game_move(*tb, mv_code("e1", "c1", CASTLE_QUEEN_SIDE)), -1);  // right gone
    EXPECT_EQ(make_game_move(*tb, mv_code("e8", "d8")), -1);                      // not white's piece
    EXPECT_EQ(make_game_move(*tb, mv_code("e1", "e3")), -1);                      // no such king move
    EXPECT_EQ(make_game_move(*tb, MOVE_NONE), -1);
    EXPECT_EQ(tb->pos.key, key);
    EXPECT_EQ(tb->histIndex, 0);
    // King takes own rook: castling whatever the destination.
    ASSERT_EQ(make_game_move(*tb, mv_code("e1", "h1", CASTLE_KING_SIDE)), 0);
    EXPECT_EQ(tb->lastMove, mv_code("e1", "g1", CASTLE_KING_SIDE));
    ASSERT_EQ(make_game_move(*tb, mv_code("e8", "d8")), -1);  // d8 is attacked by the e7 pawn
    ASSERT_EQ(make_game_move(*tb, mv_code("a8", "b8")), 0);
    // A pawn reaching the last rank without a flag becomes a queen.
    ASSERT_EQ(make_game_move(*tb, mv_code("e7", "e8")), -1);  // e8 holds the king
    ASSERT_EQ(make_game_move(*tb, mv_code("f1", "f2")), 0);
    ASSERT_EQ(make_game_move(*tb, mv_code("e8", "d7")), 0);
    ASSERT_EQ(make_game_move(*tb, mv_code("e7", "e8")), 0);
    EXPECT_EQ(tb->pos.board[sq("e8")], make_piece(WHITE, QUEEN));
    EXPECT_EQ(tb->pos.key, compute_key(tb->pos));
}

TEST(ThreadBoard, CopyGameGivesAnIndependentRecord) {
    auto game = board_from(START_FEN);
    make_game_move(*game, find_move(*game, "e2e4"));
    auto copy = std::make_unique<ThreadBoard>();
    init_thread_board(*copy);
    copy_game(*copy, *game);
    EXPECT_EQ(copy->pos.owner, copy.get());
    EXPECT_EQ(copy->histIndex, 1);
    EXPECT_EQ(copy->plyIndex, 1);
    EXPECT_EQ(copy->lastMove, game->lastMove);
    EXPECT_EQ(copy->ply[5].moves, copy->lists[5]);
    make_move(copy->pos, find_move(*copy, "e7e5"));
    EXPECT_EQ(game->histIndex, 1);
    EXPECT_EQ(copy->histIndex, 2);
}

TEST(PrintBoard, StartPosition) {
    auto tb = board_from(START_FEN);
    testing::internal::CaptureStdout();
    print_board(tb->pos);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n"
              "  r n b q k b n r\n"
              "  o o o o o o o o\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  P P P P P P P P\n"
              "  R N B Q K B N R\n"
              "white\n\n");
}
