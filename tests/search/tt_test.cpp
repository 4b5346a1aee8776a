// The transposition table: sizes, the round trip, replacement, ageing, mate
// scores, and hash moves checked against the moves the generator makes.

#include <algorithm>
#include <random>

#include "search/state.h"
#include "test_support.h"

namespace {

const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
const Move E2A6 = make_move_code(12, 40), D5E6 = make_move_code(35, 44);  // legal there

TTData probe(Position& pos, int expect_hit = 1) {
    TTData d{};
    EXPECT_EQ(tt_probe(pos, d), expect_hit);
    return d;
}

}  // namespace

TEST(Table, SizesFollowTheHashOption) {
    search_test_setup(3);
    EXPECT_EQ(tt.mask, 0xFFFFu);  // 3 MB / 32 = 98304, so 65536 entries per half
    EXPECT_EQ(tt.entries, 3u * 1024 * 1024 / 16);
    auto tb = board_from(KIWIPETE);
    search_test_setup(0);
    EXPECT_FALSE(tt_present());
    tt_store(tb->pos, 1, 5, E2A6, 10, 20, BOUND_EXACT);
    probe(tb->pos, 0);
    search_test_setup(1);
    EXPECT_EQ(search_state.table_enabled, 1);  // a table with memory is usable again
}

TEST(Table, RoundTripReplacementMateScoresAndAgeing) {
    search_test_setup(1);
    search_state.age = 0;
    auto tb = board_from(KIWIPETE);
    Position& pos = tb->pos;
    tt_store(pos, 3, 6, E2A6, -35, 120, BOUND_LOWER);
    const TTData d = probe(pos);
    EXPECT_EQ(std::tuple(d.move, d.eval, d.score, d.depth, d.bound), std::tuple(E2A6, -35, 120, 6, BOUND_LOWER));
    pos.side ^= 1;  // the other side to move lives in the other half
    probe(pos, 0);
    pos.side ^= 1;
    tt_store(pos, 3, 6, MOVE_NONE, 0, 0, BOUND_EXACT);  // a move that is never stored
    EXPECT_EQ(probe(pos).move, E2A6);
    tt_store(pos, 3, -7, D5E6, 1, 2, BOUND_UPPER);  // negative depths are kept at -1: 6 - 2 > -1 stays
    EXPECT_EQ(probe(pos).move, E2A6);
    // Mate scores are stored relative to the node: read back at ply 3 the search makes 9995 9992.
    tt_store(pos, 5, 4, E2A6, 0, 9990, BOUND_EXACT);
    EXPECT_EQ(probe(pos).score, 9995);
    tt_store(pos, 5, 4, E2A6, 0, -9990, BOUND_EXACT);
    EXPECT_EQ(probe(pos).score, -9995);
    // Replacement keeps clearly deeper results.
    tt_store(pos, 1, 10, E2A6, 0, 50, BOUND_EXACT);
    tt_store(pos, 1, 7, D5E6, 0, 60, BOUND_EXACT);
    EXPECT_EQ(probe(pos).move, E2A6);
    tt_store(pos, 1, 8, D5E6, 0, 60, BOUND_EXACT);
    EXPECT_EQ(probe(pos).move, D5E6);
    // Older entries lose two plies per search once read, and are written back with the current age.
    tt_store(pos, 1, 12, E2A6, 0, 5, BOUND_EXACT);
    tt_new_search();
    tt_new_search();
    EXPECT_EQ(probe(pos).depth, 8);
    EXPECT_EQ(probe(pos).depth, 8);
    for (int i = 0; i < 40; i++) tt_new_search();
    EXPECT_LE(search_state.age, 31);
}

TEST(Table, CollidingEntryIsReportedOnceThenMisses) {
    search_test_setup(1);
    auto tb = board_from(KIWIPETE);
    tt_store(tb->pos, 1, 5, make_move_code(0, 56), 0, 0, BOUND_EXACT);  // Ra1-a8 through its own pawn
    testing::internal::CaptureStdout();
    probe(tb->pos, 0);
    probe(tb->pos, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(out, std::string("info fen ") + KIWIPETE)) << out;
    EXPECT_TRUE(contains(out, "illegal hash move: a1a8, flags= 0, code= 10")) << out;
    EXPECT_EQ(out.find("illegal hash move", out.find("illegal hash move") + 1), std::string::npos);
}

// A stored move is accepted exactly when it is legal there, castling when the
// generator makes it (whether the king may pass is the legality test's).
TEST(Table, HashMovesAreAcceptedExactlyWhenPlayable) {
    std::mt19937 rng(5);
    int accepted = 0;
    for (const std::string& fen : random_game_fens(8, 60, 120)) {
        auto tb = board_from(fen);
        const std::vector<Move> legal = legal_moves(*tb);
        std::vector<Move> codes = legal, castling;
        for (const MoveEntry* e = tb->current_ply().moves; e < tb->current_ply().listEnd; e++)
            if (piece_type(e->piece) == KING && move_flags(e->move)) castling.push_back(e->move);
        const Bitboard own = tb->pos.pieces[tb->pos.side][0];
        for (int i = 0; i < 60; i++) {
            Bitboard from = own;
            for (int n = int(rng() % popcount(own)); n--;) from &= from - 1;
            codes.push_back(Move((lsb(from) << 8) | (rng() & 0xC0FF)));
            codes.push_back(Move(rng()));
        }
        for (Move m : codes) {
            const bool playable = std::count(legal.begin(), legal.end(), m) || std::count(castling.begin(), castling.end(), m);
            ASSERT_EQ(tt_move_rejection(tb->pos, m) == 0, playable) << fen << " move " << std::hex << m;
            accepted += playable && !std::count(legal.begin(), legal.end(), m);
        }
    }
    EXPECT_GT(accepted, 0);  // castling moves the legality test refuses
}
