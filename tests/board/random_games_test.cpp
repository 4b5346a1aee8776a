// Thousands of random legal games, standard and Chess960: at every ply every
// legal move must make and unmake without a trace, keep the incremental state
// equal to a from-scratch computation, survive a FEN round trip, and the
// picker must hand out exactly the generated moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "board/movepick.h"
#include "board/notation.h"
#include "board_test_util.h"
#include "core/settings.h"
#include "test_support.h"

namespace {

constexpr int MAX_GAME_PLIES = 120;

// Field by field: padding bytes carry no meaning.
bool same_position(const Position& a, const Position& b) {
    return a.owner == b.owner && !memcmp(a.board, b.board, sizeof a.board) &&
           !memcmp(a.pieces, b.pieces, sizeof a.pieces) && a.touched == b.touched &&
           !memcmp(a.castleMask, b.castleMask, sizeof a.castleMask) &&
           !memcmp(a.castlePath, b.castlePath, sizeof a.castlePath) && a.key == b.key && a.pawnKey == b.pawnKey &&
           !memcmp(a.material, b.material, sizeof a.material) &&
           !memcmp(a.castleRook, b.castleRook, sizeof a.castleRook) &&
           !memcmp(a.kingSq, b.kingSq, sizeof a.kingSq) && a.side == b.side && a.epSquare == b.epSquare &&
           a.castleRights == b.castleRights && a.fifty == b.fifty;
}

bool same_record(const HistoryEntry& a, const HistoryEntry& b) {
    return a.key == b.key && a.pawnKey == b.pawnKey && a.move == b.move && a.captured == b.captured &&
           a.epSquare == b.epSquare && a.touched == b.touched && a.fifty == b.fifty &&
           a.castleRights == b.castleRights;
}

// Mailbox, bitboards, king squares, keys and material agree with each other.
bool consistent(const Position& pos) {
    Bitboard expected[2][7] = {};
    uint32_t material[2] = {};
    uint64_t key = KeyTable[pos.castleRights] ^ (pos.epSquare == NO_SQUARE ? 0 : KeyTable[pos.epSquare]);
    uint64_t pawn_key = 0;
    for (int sq = 0; sq < 64; sq++) {
        int piece = pos.board[sq], c = piece_color(piece), type = piece_type(piece);
        if (!piece) continue;
        expected[c][type] |= square_bb(sq);
        expected[c][0] |= square_bb(sq);
        material[c] += MATERIAL_UNIT[type];
        key ^= KeyTable[piece * 64 + sq];
        if (type == PAWN) pawn_key ^= KeyTable[piece * 64 + sq];
    }
    return !memcmp(expected, pos.pieces, sizeof expected) && !memcmp(material, pos.material, sizeof material) &&
           square_bb(pos.kingSq[WHITE]) == pos.pieces[WHITE][KING] &&
           square_bb(pos.kingSq[BLACK]) == pos.pieces[BLACK][KING] && key == pos.key && pawn_key == pos.pawnKey;
}

struct Snapshot {
    Position pos;
    int16_t histIndex, plyIndex;
    Move lastMove;
    std::vector<HistoryEntry> history;

    explicit Snapshot(const ThreadBoard& tb)
        : pos(tb.pos), histIndex(tb.histIndex), plyIndex(tb.plyIndex), lastMove(tb.lastMove),
          history(tb.history, tb.history + tb.histIndex) {}

    bool same(const ThreadBoard& tb) const {
        return same_position(pos, tb.pos) && histIndex == tb.histIndex && plyIndex == tb.plyIndex &&
               lastMove == tb.lastMove;
    }
    // Make and unmake write only the record at histIndex; older ones stay.
    bool same_history(const ThreadBoard& tb) const {
        for (size_t i = 0; i < history.size(); i++)
            if (!same_record(history[i], tb.history[i])) return false;
        return true;
    }
};

// write_fen -> set_fen gives back the position; a castling right whose rook is
// not the only one on its side cannot be told apart in "KQkq" text and drops.
void expect_fen_round_trip(const Position& pos, ThreadBoard& scratch, const char* context) {
    char fen[128];
    write_fen(pos, fen, 1);
    ASSERT_EQ(set_fen(scratch.pos, fen), 0) << fen;
    const Position& back = scratch.pos;
    EXPECT_EQ(0, memcmp(pos.board, back.board, sizeof pos.board)) << fen;
    EXPECT_EQ(0, memcmp(pos.pieces, back.pieces, sizeof pos.pieces)) << fen;
    EXPECT_EQ(pos.side, back.side) << fen;
    EXPECT_EQ(pos.epSquare, back.epSquare) << fen;
    EXPECT_EQ(pos.fifty, back.fifty) << fen;
    for (int right = 0; right < 4; right++) {
        if (!(pos.castleRights & (1 << right))) continue;
        int c = right >> 1, king = pos.kingSq[c];
        Bitboard side = (right & 1) ? square_bb(king) - 1 : ~((square_bb(king) << 1) - 1);
        bool unique = popcount(pos.pieces[c][ROOK] & rank_bb(rank_of(king)) & side) == 1;
        EXPECT_EQ(bool(back.castleRights & (1 << right)), unique) << fen;
        if (unique) {
            EXPECT_EQ(back.castleRook[right], pos.castleRook[right]) << fen;
        }
    }
    if (back.castleRights == pos.castleRights) {
        EXPECT_EQ(back.key, pos.key) << fen << " " << context;
    }
}

// The search's view of a node below two made moves, so that the counter and
// follow-up lookups run; ordering knowledge is random.
void prepare_picker(ThreadBoard& tb, std::mt19937& rng, const std::vector<Move>& legal) {
    auto some_move = [&] { return legal.empty() || rng() % 3 == 0 ? MOVE_NONE : legal[rng() % legal.size()]; };
    for (int i = 0; i < 32; i++) {
        int index = int(rng() % 1024);
        tb.order.history[index] = uint16_t(rng());
        tb.order.counter1[index] = tb.order.counter2[index] = tb.order.followup[index] = some_move();
    }
    for (int up = 1; up <= 2 && up <= tb.histIndex; up++) {
        MoveEntry& e = tb.lists[3 - up][0];
        e.move = tb.history[tb.histIndex - up].move;
        e.piece = uint8_t(rng() % 15);
        tb.ply[3 - up].cursor = &e;
    }
    tb.plyIndex = tb.histIndex >= 2 ? 3 : 1;
    PlyRecord& pr = tb.current_ply();
    int c = tb.pos.side;
    int checker = least_attacker(tb.pos, tb.pos.kingSq[c], c ^ 1, tb.pos.occupied());
    pr.captureTarget = uint8_t(checker);
    pr.inCheck = checker != NO_SQUARE;
    pr.killer1 = some_move();
    pr.killer2 = some_move();
    pr.checkKiller = some_move();
    pr.hashMove = some_move();
    pr.genMode = GEN_FULL_WIDTH;
    pr.stage = STAGE_START;
    pr.cursor = pr.moves;
}

void expect_picker_matches_generator(ThreadBoard& tb, std::mt19937& rng, const std::vector<Move>& legal) {
    gen_all(tb.pos);
    std::vector<Move> generated;
    for (const MoveEntry* e = tb.current_ply().moves; e < tb.current_ply().listEnd; e++) generated.push_back(e->move);
    int saved_ply = tb.plyIndex;
    prepare_picker(tb, rng, legal);
    Move hash = tb.current_ply().hashMove;
    std::vector<Move> picked;
    for (MoveEntry* e; (e = next_move(tb.pos));) {
        tb.current_ply().cursor = e;
        picked.push_back(e->move);
    }
    if (hash) {
        ASSERT_FALSE(picked.empty());
        EXPECT_EQ(picked.front(), hash);
        picked.erase(picked.begin());
    }
    tb.plyIndex = int16_t(saved_ply);
    int c = tb.pos.side;
    auto only_legal = [&](std::vector<Move> moves) {
        std::erase_if(moves, [&](Move m) { return !is_legal(tb.pos, c, m); });
        std::sort(moves.begin(), moves.end());
        return moves;
    };
    if (tb.pos.kingSq[c] != NO_SQUARE && !is_attacked(tb.pos, tb.pos.kingSq[c], c ^ 1)) {
        std::sort(picked.begin(), picked.end());
        std::sort(generated.begin(), generated.end());
        EXPECT_EQ(picked, generated);
    } else {
        EXPECT_EQ(only_legal(picked), only_legal(generated));  // evasions: the picker narrows to the checker
    }
}

std::vector<std::string> game_starts(int count, std::mt19937& rng) {
    std::vector<std::string> starts;
    std::vector<std::string> chess960 = read_lines(shared_path("data/openings/FRC_openings.epd"));
    for (int i = 0; i < count; i++)
        starts.push_back(i % 2 == 0 || chess960.empty() ? std::string(START_FEN) : chess960[rng() % chess960.size()]);
    return starts;
}

// Plays random games from the starts, calling check(tb, legal) at every ply.
template <typename Check>
void play_random_games(int games, uint32_t seed, Check check) {
    std::mt19937 rng(seed);
    for (const std::string& start : game_starts(games, rng)) {
        auto tb = board_from(start.c_str());
        for (int ply = 0; ply < MAX_GAME_PLIES && tb->pos.fifty < 100; ply++) {
            std::vector<Move> legal = legal_moves(*tb);
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
        write_fen(tb.pos, fen, 0);
        EXPECT_TRUE(consistent(tb.pos)) << fen;
        EXPECT_EQ(tb.pos.key, compute_key(tb.pos));
        EXPECT_EQ(tb.pos.pawnKey, compute_pawn_key(tb.pos));
        EXPECT_EQ(tb.pos.material[BLACK], compute_material(tb.pos, BLACK));
        expect_fen_round_trip(tb.pos, *scratch, fen);
        Snapshot before(tb);
        for (Move m : legal) {
            make_move(tb.pos, m);
            EXPECT_TRUE(consistent(tb.pos)) << fen << " " << m;
            EXPECT_FALSE(is_attacked(tb.pos, tb.pos.kingSq[tb.pos.side ^ 1], tb.pos.side)) << fen;
            unmake_move(tb.pos);
            EXPECT_TRUE(before.same(tb)) << fen;
        }
        make_null_move(tb.pos);
        EXPECT_EQ(tb.pos.key, compute_key(tb.pos)) << fen;
        unmake_null_move(tb.pos);
        EXPECT_TRUE(before.same(tb)) << fen;
        EXPECT_TRUE(before.same_history(tb)) << fen;
        expect_picker_matches_generator(tb, rng, legal);
    });
}

TEST(RandomGames, EveryLegalMoveTextParsesBack) {
    uint8_t saved960 = options.chess960, saved_uci = options.uci_mode;
    play_random_games(40, 77, [](ThreadBoard& tb, const std::vector<Move>& legal, std::mt19937& rng) {
        options.chess960 = uint8_t(rng() & 1);
        options.uci_mode = uint8_t(rng() & 1);
        // Every text of every legal move, without check marks.
        std::vector<std::array<std::string, 4>> texts;
        for (Move m : legal) {
            char t[4][MOVE_TEXT_SIZE];
            move_texts(tb.pos, m, t[0], t[1], t[2], t[3]);
            std::array<std::string, 4> row;
            for (int i = 0; i < 4; i++) {
                row[i] = t[i];
                std::erase(row[i], '+');
            }
            texts.push_back(row);
        }
        for (size_t i = 0; i < legal.size(); i++) {
            for (int form = 0; form < 2; form++) {  // coordinate, SAN
                const std::string& text = texts[i][form];
                int owners = 0;
                for (const auto& row : texts) owners += std::find(row.begin(), row.end(), text) != row.end();
                Move parsed = MOVE_NONE;
                if (owners == 1) {
                    EXPECT_EQ(parse_move(tb, text.c_str(), parsed), 1) << text;
                    EXPECT_EQ(parsed, legal[i]) << text;
                    continue;
                }
                // Only a Chess960 king step can share its text with a castling move's other form.
                EXPECT_EQ(piece_type(tb.pos.board[move_from(legal[i])]), KING) << text;
                testing::internal::CaptureStdout();
                EXPECT_EQ(parse_move(tb, text.c_str(), parsed), 0) << text;
                EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
            }
        }
    });
    options.chess960 = saved960;
    options.uci_mode = saved_uci;
}
