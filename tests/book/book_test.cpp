// Polyglot books: the published keys, the real books walked from the start
// position against a reader written here from the format alone, the weighted
// choice, damaged files, and the game driver playing from one or two books.
#include "book/book.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/move.h"
#include "core/settings.h"
#include "test_support.h"

namespace {

class CoreTables : public testing::Environment {
public:
    void SetUp() override {
        set_default_options();
        init_tables();
        init_keys();
    }
};
[[maybe_unused]] testing::Environment* const core_tables = testing::AddGlobalTestEnvironment(new CoreTables);

// The format read by hand: 16-byte records, big-endian key, move and weight.
struct Ref {
    uint64_t key;
    uint16_t move, weight;
    bool operator<(const Ref& o) const { return key < o.key; }
};

std::vector<Ref> decode_book(const std::string& bytes) {
    auto big = [&](size_t at, int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; i++) v = v << 8 | uint8_t(bytes[at + i]);
        return v;
    };
    std::vector<Ref> book;
    for (size_t at = 0; at + 16 <= bytes.size(); at += 16)
        book.push_back({big(at, 8), uint16_t(big(at + 8, 2)), uint16_t(big(at + 10, 2))});
    return book;
}

std::string encode_book(const std::vector<Ref>& book) {
    std::string bytes;
    for (const Ref& r : book) {
        for (int i = 7; i >= 0; i--) bytes += char(r.key >> (8 * i));
        bytes += {char(r.move >> 8), char(r.move), char(r.weight >> 8), char(r.weight), 0, 0, 0, 0};
    }
    return bytes;
}

std::string temp_book(const std::string& name, const std::string& bytes) {
    std::string path = testing::TempDir() + "quox_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// Book move from coordinate text, promotion piece 1 knight .. 4 queen.
uint16_t book_move(const char* text, int promotion = 0) {
    return uint16_t(promotion << 12 | parse_square(text) << 6 | parse_square(text + 2));
}

std::unique_ptr<ThreadBoard> board_at(const char* fen) {
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    EXPECT_EQ(set_fen(tb->pos, fen), 0) << fen;
    return tb;
}

uint64_t key_of(const char* fen) {
    return polyglot_key(board_at(fen)->pos);
}

}  // namespace

TEST(PolyglotKeys, PublishedTestPositions) {
    const std::pair<const char*, uint64_t> cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9cull},
        // e3 cannot be taken: the square stays out of the key.
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196ull},
        {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756b94461c50fb0ull},
        {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662fafb965db29d4ull},
        // e5xf6 is possible: the f-file enters the key.
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22a48b5a8e47ff78ull},
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3", 0x652a607ca3f242c1ull},
        {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4", 0x00fdd303c946bdd9ull},
        {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", 0x3c8123ea7b067637ull},
        {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5c3f9b829b279560ull},
    };
    for (auto [fen, key] : cases) EXPECT_EQ(key_of(fen), key) << fen;
}

// Every position reached by playing stored moves from the start is looked up
// again: a wrong table entry would leave the positions using it unfound.
TEST(PolyglotBooks, WalkingRealBooksFindsThousandsOfPositions) {
    for (const char* name : {"performance.bin", "gnuchess-book.bin"}) {
        const std::string path = shared_path(std::string("data/books/") + name);
        const std::vector<Ref> book = decode_book(read_file(path));
        ASSERT_TRUE(std::is_sorted(book.begin(), book.end())) << name;
        auto tb = board_at(START_FEN);
        std::map<uint64_t, bool> seen;
        int found = 0, compared = 0;
        auto walk = [&](auto&& self, int depth) -> void {
            const uint64_t key = polyglot_key(tb->pos);
            if (seen.count(key) || found >= 5000) return;
            seen[key] = true;
            auto [first, last] = std::equal_range(book.begin(), book.end(), Ref{key, 0, 0});
            if (first == last) return;
            found++;
            BookCandidates list;
            ASSERT_EQ(read_book_candidates(path.c_str(), key, list), std::min<int>(int(last - first), 127));
            for (int i = 0; i < list.count; i++, compared++) {
                EXPECT_EQ(list.entries[i].move, first[i].move);
                EXPECT_EQ(list.entries[i].weight, first[i].weight);
            }
            for (auto e = first; e != last && depth > 0; ++e) {
                Move m = match_legal(*tb, from_polyglot_move(tb->pos, e->move));
                ASSERT_NE(m, MOVE_NONE) << name << " stored move " << e->move;
                make_move(tb->pos, m);
                self(self, depth - 1);
                unmake_move(tb->pos);
            }
        };
        walk(walk, 60);  // deeper than book lines go, within the record's ply stack
        EXPECT_GE(found, 4000) << name;
        EXPECT_GT(compared, 6000) << name;
    }
}

TEST(BookProbe, VarietyShapesTheChoiceAsTheWeightsSay) {
    const uint64_t start = key_of(START_FEN);
    const char* moves[3] = {"e2e4", "d2d4", "g1f3"};
    const int weights[3] = {60, 30, 10};
    std::vector<Ref> book;
    for (int i = 0; i < 3; i++) book.push_back({start, book_move(moves[i]), uint16_t(weights[i])});
    const std::string path = temp_book("variety.bin", encode_book(book));
    auto tb = board_at(START_FEN);
    options.uci_mode = 0;
    options.noise = 99999;
    for (int variety : {0, 25, 100}) {
        // Each weight moves by (variety - 25) % of the top weight, floored at 0.
        double shifted[3], sum = 0;
        for (int i = 0; i < 3; i++) sum += shifted[i] = std::max(0.0, weights[i] + (variety - 25) * 0.6);
        options.book_variety = uint8_t(variety);
        srand(12345);
        int count[3] = {};
        const int probes = 3000;
        for (int n = 0; n < probes; n++) {
            Move m = book_probe(*tb, path.c_str());
            for (int i = 0; i < 3; i++)
                count[i] += m == match_legal(*tb, from_polyglot_move(tb->pos, book_move(moves[i])));
        }
        EXPECT_EQ(count[0] + count[1] + count[2], probes);
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(double(count[i]) / probes, shifted[i] / sum, 0.03) << "variety " << variety << " " << moves[i];
    }
    options.book_variety = 25;
}

TEST(BookProbe, OddEntriesAndDamagedFilesGiveNoMoveOrALegalOne) {
    options.uci_mode = 1;
    // A one-entry book for the position, probed there.
    auto probe = [](const char* fen, uint16_t move, uint16_t weight, const std::string& tail = "") {
        auto tb = board_at(fen);
        return book_probe(*tb, temp_book("odd.bin", encode_book({{key_of(fen), move, weight}}) + tail).c_str());
    };
    EXPECT_EQ(probe(START_FEN, book_move("e2e4"), 0), MOVE_NONE);  // weight 0
    EXPECT_EQ(probe(START_FEN, book_move("a1a8"), 5), MOVE_NONE);  // through own pieces
    EXPECT_EQ(probe(START_FEN, book_move("e2e5"), 5), MOVE_NONE);  // no such pawn move
    EXPECT_EQ(probe(START_FEN, book_move("e7e5"), 5), MOVE_NONE);  // the other side's pawn
    EXPECT_EQ(probe(START_FEN, book_move("g1f3"), 5, "tail"), make_move_code(6, 21));
    // Castling as the king taking its own rook; a promotion to a knight.
    EXPECT_EQ(probe("r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq - 0 1", book_move("e1h1"), 9),
              make_move_code(4, 6, CASTLE_KING_SIDE));
    EXPECT_EQ(probe("8/1P6/8/8/8/8/6k1/K7 w - - 0 1", book_move("b7b8", 1), 9), make_move_code(49, 57, PROMO_KNIGHT));

    // More entries than the list holds: the first 127 count.
    const uint64_t start = key_of(START_FEN);
    BookCandidates list;
    const std::string many = temp_book("many.bin", encode_book(std::vector<Ref>(130, Ref{start, book_move("b1c3"), 1})));
    EXPECT_EQ(read_book_candidates(many.c_str(), start, list), 127);

    // No file, an empty one, a cut, shuffled or noisy one: no crash, and a move given is legal.
    auto tb = board_at(START_FEN);
    EXPECT_EQ(book_probe(*tb, ""), MOVE_NONE);
    EXPECT_EQ(book_probe(*tb, "/nonexistent/book.bin"), MOVE_NONE);
    std::string real = read_file(shared_path("data/books/performance.bin"));
    std::string shuffled = real.substr(0, 16 * 4000), noise(4096, 0);
    for (size_t i = 0; i + 32 <= shuffled.size(); i += 32)
        std::swap_ranges(&shuffled[i], &shuffled[i + 16], &shuffled[i + 16]);
    srand(7);
    for (char& c : noise) c = char(rand());
    for (const std::string& bytes : {real.substr(0, real.size() - 9), shuffled, noise, real.substr(0, 15), std::string()}) {
        Move m = book_probe(*tb, temp_book("damaged.bin", bytes).c_str());
        EXPECT_EQ(match_legal(*tb, m), m);
        EXPECT_TRUE(m || bytes.size() != real.size() - 9);  // the cut book still knows the start
    }
}

TEST(GameDriverBook, PlaysFromTwoBooksUpToTheirDepths) {
    const uint64_t start = key_of(START_FEN);
    const uint64_t open_game = key_of("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    const std::string first = temp_book("first.bin", encode_book({{start, book_move("e2e4"), 1}}));
    const std::string second = temp_book("second.bin", encode_book({{open_game, book_move("g1f3"), 1}}));

    EngineProcess engine;  // with its "info depth" lines
    engine.send_line("setoption name OwnBook_File value " + first);
    engine.send_line("setoption name OwnBook2_File value " + second);
    engine.send_line("setoption name OwnBook2_Depth value 4");
    auto answer = [&](const std::string& position, std::vector<std::string>& seen) {
        seen.clear();
        engine.send_line(position);
        engine.send_line("go depth 2");
        return engine.wait_for("bestmove", &seen);
    };
    std::vector<std::string> seen;
    ASSERT_TRUE(answer("position startpos", seen));
    std::vector<std::string> tail(seen.end() - 3, seen.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"info string ( book moves are: e2e4  )", "info string book move is e2e4",
                                              "bestmove e2e4"}));
    // Ply 2: past the first book's miss, the second book answers.
    ASSERT_TRUE(answer("position startpos moves e2e4 e7e5", seen));
    EXPECT_EQ(seen.back(), "bestmove g1f3");
    EXPECT_EQ(seen[seen.size() - 2], "info string book move is g1f3");
    // Past each book's depth the engine searches, whatever the book holds.
    engine.send_line("setoption name OwnBook2_Depth value 2");
    engine.send_line("setoption name OwnBook_Depth value 0");
    for (const char* position : {"position startpos moves e2e4 e7e5", "position startpos"}) {
        ASSERT_TRUE(answer(position, seen));
        for (const std::string& line : seen) EXPECT_EQ(line.find("book"), std::string::npos) << line;
        EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](auto& l) { return l.rfind("info depth", 0) == 0; }));
    }
}
