// Thousands of random legal games, standard and Chess960: at every ply every
// legal move must make and unmake without a trace, keep the incremental state
// equal to a from-scratch computation, survive a FEN round trip, and the
// picker must hand out exactly the generated moves.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <random>
#include <tuple>

#include "board/keys.h"
#include "board/movepick.h"
#include "test_support.h"

namespace {

// Everything but the padding after the last field.
bool same_position(const Position& a, const Position& b) { return !memcmp(&a, &b, offsetof(Position, fifty) + 1); }

auto fields(const HistoryEntry& e) { return std::tie(e.key, e.pawnKey, e.move, e.captured, e.epSquare, e.touched, e.fifty, e.castleRights); }

// Mailbox, bitboards, king squares and material agree with each other.
bool consistent(const Position& pos) {
    Bitboard expected[2][7] = {};
    uint32_t material[2] = {};
    for (int s = 0; s < 64; s++) {
        const int piece = pos.board[s], c = piece_color(piece), type = piece_type(piece);
        if (!piece) continue;
        expected[c][type] |= square_bb(s);
        expected[c][0] |= square_bb(s);
        material[c] += MATERIAL_UNIT[type];
    }
    return !memcmp(expected, pos.pieces, sizeof expected) && !memcmp(material, pos.material, sizeof material) &&
           square_bb(pos.kingSq[WHITE]) == pos.pieces[WHITE][KING] && square_bb(pos.kingSq[BLACK]) == pos.pieces[BLACK][KING];
}

// write_fen -> set_fen gives back the position; a castling right whose rook is
// not the only one on its side cannot be told apart in "KQkq" text and drops.
void expect_fen_round_trip(const Position& pos, ThreadBoard& scratch, const char* fen) {
    ASSERT_EQ(set_fen(scratch.pos, fen), 0) << fen;
    const Position& back = scratch.pos;
    EXPECT_TRUE(!memcmp(pos.board, back.board, sizeof pos.board) && !memcmp(pos.pieces, back.pieces, sizeof pos.pieces) &&
                pos.side == back.side && pos.epSquare == back.epSquare && pos.fifty == back.fifty) << fen;
    for (int right = 0; right < 4; right++) {
        if (!(pos.castleRights & (1 << right))) continue;
        const int c = right >> 1, king = pos.kingSq[c];
        const Bitboard side = (right & 1) ? square_bb(king) - 1 : ~((square_bb(king) << 1) - 1);
        const bool unique = popcount(pos.pieces[c][ROOK] & rank_bb(rank_of(king)) & side) == 1;
        EXPECT_EQ(bool(back.castleRights & (1 << right)), unique) << fen;
        if (unique) { EXPECT_EQ(back.castleRook[right], pos.castleRook[right]) << fen; }
    }
    if (back.castleRights == pos.castleRights) { EXPECT_EQ(back.key, pos.key) << fen; }
}

// The picker at a node below two made moves (so that the counter and follow-up
// lookups run) with random ordering knowledge hands out the generated moves.
void expect_picker_matches_generator(ThreadBoard& tb, std::mt19937& rng, const std::vector<Move>& legal) {
    gen_all(tb.pos);
    std::vector<Move> generated, picked;
    for (const MoveEntry* e = tb.current_ply().moves; e < tb.current_ply().listEnd; e++) generated.push_back(e->move);
    auto some_move = [&] { return legal.empty() || rng() % 3 == 0 ? MOVE_NONE : legal[rng() % legal.size()]; };
    for (int i = 0; i < 32; i++) {
        const int index = int(rng() % 1024);
        tb.order.history[index] = uint16_t(rng());
        tb.order.counter1[index] = tb.order.counter2[index] = tb.order.followup[index] = some_move();
    }
    for (int up = 1; up <= 2 && up <= tb.histIndex; up++) {
        MoveEntry& e = tb.lists[3 - up][0];
        e.move = tb.history[tb.histIndex - up].move;
        e.piece = uint8_t(rng() % 15);
        tb.ply[3 - up].cursor = &e;
    }
    const int c = tb.pos.side, saved_ply = tb.plyIndex, ply = tb.histIndex >= 2 ? 3 : 1;
    PlyRecord& pr = tb.ply[ply];
    pr.killer1 = some_move(), pr.killer2 = some_move(), pr.checkKiller = some_move();
    for (const auto& [move, score] : pick_all(tb, GEN_FULL_WIDTH, some_move(), ply)) picked.push_back(move);
    if (pr.hashMove) {
        ASSERT_FALSE(picked.empty());
        EXPECT_EQ(picked.front(), pr.hashMove);
        picked.erase(picked.begin());
    }
    tb.plyIndex = int16_t(saved_ply);
    // In check the picker narrows the evasions to the checker: compare the legal ones.
    for (std::vector<Move>* moves : {&picked, &generated}) {
        if (pr.inCheck) std::erase_if(*moves, [&](Move m) { return !is_legal(tb.pos, c, m); });
        std::sort(moves->begin(), moves->end());
    }
    EXPECT_EQ(picked, generated);
}

// Plays random games from the start position and Chess960 starts, calling check(tb, legal, rng) at every ply.
template <typename Check>
void play_random_games(int games, uint32_t seed, Check check) {
    std::mt19937 rng(seed);
    const std::vector<std::string> chess960 = read_lines(shared_path("data/openings/FRC_openings.epd"));
    ASSERT_FALSE(chess960.empty());
    for (int game = 0; game < games; game++) {
        auto tb = board_from(game % 2 == 0 ? std::string(START_FEN) : chess960[rng() % chess960.size()]);
        for (int ply = 0; ply < 120 && tb->pos.fifty < 100; ply++) {
            const std::vector<Move> legal = legal_moves(*tb);
            check(*tb, legal, rng);
            if (::testing::Test::HasFailure()) return;
            if (legal.empty()) break;
            ASSERT_EQ(make_game_move(*tb, legal[rng() % legal.size()]), 0);
        }
    }
}

}  // namespace

TEST(RandomGames, MakeUnmakeFenAndPickerAgreeWithScratch) {
    auto scratch = board_from(START_FEN);
    play_random_games(2000, 2024, [&](ThreadBoard& tb, const std::vector<Move>& legal, std::mt19937& rng) {
        char fen[128];
        write_fen(tb.pos, fen, 1);
        EXPECT_TRUE(consistent(tb.pos)) << fen;
        EXPECT_EQ(tb.pos.key, compute_key(tb.pos)) << fen;
        EXPECT_EQ(tb.pos.pawnKey, compute_pawn_key(tb.pos)) << fen;
        expect_fen_round_trip(tb.pos, *scratch, fen);
        const Position before = tb.pos;
        const auto counters = std::tuple(tb.histIndex, tb.plyIndex, tb.lastMove);
        std::vector<HistoryEntry> history(tb.history, tb.history + tb.histIndex);
        for (Move m : legal) {
            make_move(tb.pos, m);
            EXPECT_TRUE(consistent(tb.pos) && tb.pos.key == compute_key(tb.pos)) << fen << " " << m;
            EXPECT_FALSE(is_attacked(tb.pos, tb.pos.kingSq[tb.pos.side ^ 1], tb.pos.side)) << fen;
            unmake_move(tb.pos);
            EXPECT_TRUE(same_position(before, tb.pos)) << fen << " " << m;
        }
        make_null_move(tb.pos);
        EXPECT_TRUE(tb.pos.key == compute_key(tb.pos) && tb.pos.epSquare == NO_SQUARE && tb.lastMove == MOVE_NONE) << fen;
        unmake_null_move(tb.pos);
        EXPECT_TRUE(same_position(before, tb.pos) && counters == std::tuple(tb.histIndex, tb.plyIndex, tb.lastMove)) << fen;
        // Make and unmake write only the record at histIndex; older ones stay.
        for (size_t i = 0; i < history.size(); i++) ASSERT_EQ(fields(history[i]), fields(tb.history[i])) << fen;
        expect_picker_matches_generator(tb, rng, legal);
    });
}

TEST(RandomGames, EveryLegalMoveTextParsesBack) {
    const uint8_t saved960 = options.chess960, saved_uci = options.uci_mode;
    play_random_games(40, 77, [](ThreadBoard& tb, const std::vector<Move>& legal, std::mt19937& rng) {
        options.chess960 = uint8_t(rng() & 1);
        options.uci_mode = uint8_t(rng() & 1);
        std::vector<std::array<std::string, 4>> texts;  // every text of every legal move, without check marks
        for (Move m : legal) {
            char t[4][MOVE_TEXT_SIZE];
            move_texts(tb.pos, m, t[0], t[1], t[2], t[3]);
            texts.emplace_back();
            for (int i = 0; i < 4; i++) std::erase(texts.back()[i] = t[i], '+');
        }
        for (size_t i = 0; i < legal.size(); i++)
            for (int form = 0; form < 2; form++) {  // coordinate, SAN
                const std::string& text = texts[i][form];
                int owners = 0;
                for (const auto& row : texts) owners += std::find(row.begin(), row.end(), text) != row.end();
                Move parsed = MOVE_NONE;
                if (owners == 1) {
                    EXPECT_TRUE(parse_move(tb, text.c_str(), parsed) == 1 && parsed == legal[i]) << text;
                    continue;
                }
                // Only a Chess960 king step can share its text with a castling move's other form.
                EXPECT_EQ(piece_type(tb.pos.board[move_from(legal[i])]), KING) << text;
                testing::internal::CaptureStdout();
                EXPECT_EQ(parse_move(tb, text.c_str(), parsed), 0) << text;
                EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n") << text;
            }
    });
    options.chess960 = saved960;
    options.uci_mode = saved_uci;
}
