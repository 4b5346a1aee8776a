// Polyglot books: the published keys, the real books walked from the start
// position against a reader written here from the format alone, the weighted
// choice, odd entries, and the game driver playing from one or two books.
#include "book/book.h"

#include <algorithm>
#include <set>

#include "test_support.h"

namespace {

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
    for (size_t at = 0; at + 16 <= bytes.size(); at += 16) book.push_back({big(at, 8), uint16_t(big(at + 8, 2)), uint16_t(big(at + 10, 2))});
    return book;
}

// Writes the entries as a book file in a scratch folder; returns its path.
std::string book_file(const std::vector<Ref>& book) {
    std::string bytes;
    for (const Ref& r : book) {
        for (int i = 7; i >= 0; i--) bytes += char(r.key >> (8 * i));
        bytes += {char(r.move >> 8), char(r.move), char(r.weight >> 8), char(r.weight), 0, 0, 0, 0};
    }
    const std::string path = make_scratch_dir("book") + "/book.bin";
    write_file(path, bytes);
    return path;
}

// Book move from coordinate text, promotion piece 1 knight .. 4 queen.
uint16_t book_move(const char* text, int promotion = 0) {
    return uint16_t(promotion << 12 | parse_square(text) << 6 | parse_square(text + 2));
}

uint64_t key_of(const char* fen) { return polyglot_key(board_from(fen)->pos); }

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
        auto tb = board_from(START_FEN);
        std::set<uint64_t> seen;
        int found = 0, compared = 0;
        auto walk = [&](auto&& self, int depth) -> void {
            const uint64_t key = polyglot_key(tb->pos);
            if (!seen.insert(key).second || found >= 5000) return;
            auto [first, last] = std::equal_range(book.begin(), book.end(), Ref{key, 0, 0});
            if (first == last) return;
            found++;
            BookCandidates list;
            ASSERT_EQ(read_book_candidates(path.c_str(), key, list), std::min<int>(int(last - first), 127));
            for (int i = 0; i < list.count; i++, compared++)
                EXPECT_TRUE(list.entries[i].move == first[i].move && list.entries[i].weight == first[i].weight);
            for (auto e = first; e != last && depth > 0; ++e) {
                const Move m = match_legal(*tb, from_polyglot_move(tb->pos, e->move));
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

// Each weight moves by (variety - 25) % of the top weight, floored at 0:
// weights 60, 30, 10 become 45, 15, 0 at variety 0 and 105, 75, 55 at 100.
TEST(BookProbe, VarietyShapesTheChoiceAsTheWeightsSay) {
    const uint64_t start = key_of(START_FEN);
    const char* moves[3] = {"e2e4", "d2d4", "g1f3"};
    const std::string path = book_file({{start, book_move(moves[0]), 60}, {start, book_move(moves[1]), 30}, {start, book_move(moves[2]), 10}});
    auto tb = board_from(START_FEN);
    options.uci_mode = 0;
    options.noise = 99999;
    const struct { int variety; double share[3]; } cases[] = {
        {0, {0.75, 0.25, 0}}, {25, {0.6, 0.3, 0.1}}, {100, {105 / 235.0, 75 / 235.0, 55 / 235.0}}};
    for (const auto& c : cases) {
        options.book_variety = uint8_t(c.variety);
        srand(12345);
        int count[3] = {};
        const int probes = 3000;
        for (int n = 0; n < probes; n++) {
            const Move m = book_probe(*tb, path.c_str());
            for (int i = 0; i < 3; i++) count[i] += m == mv(moves[i], moves[i] + 2);
        }
        EXPECT_EQ(count[0] + count[1] + count[2], probes);
        for (int i = 0; i < 3; i++) EXPECT_NEAR(double(count[i]) / probes, c.share[i], 0.03) << "variety " << c.variety << " " << moves[i];
    }
    set_default_options();
}

TEST(BookProbe, OddEntriesGiveNoMoveOrALegalOne) {
    options.uci_mode = 1;
    options.noise = 99999;
    // A one-entry book for the position, probed there.
    const char* castling = "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq - 0 1";
    const char* promotion = "8/1P6/8/8/8/8/6k1/K7 w - - 0 1";
    const struct { const char* fen; uint16_t move, weight; Move expected; } cases[] = {
        {START_FEN, book_move("e2e4"), 0, MOVE_NONE},  // weight 0
        {START_FEN, book_move("a1a8"), 5, MOVE_NONE},  // through own pieces
        {START_FEN, book_move("e2e5"), 5, MOVE_NONE},  // no such pawn move
        {START_FEN, book_move("e7e5"), 5, MOVE_NONE},  // the other side's pawn
        {START_FEN, book_move("g1f3"), 5, mv("g1", "f3")},
        {castling, book_move("e1h1"), 9, mv("e1", "g1", CASTLE_KING_SIDE)},  // the king takes its own rook
        {promotion, book_move("b7b8", 1), 9, mv("b7", "b8", PROMO_KNIGHT)},
    };
    for (const auto& c : cases) EXPECT_EQ(book_probe(*board_from(c.fen), book_file({{key_of(c.fen), c.move, c.weight}}).c_str()), c.expected) << c.fen;
    // More entries than the list holds: the first 127 count; no file, no move.
    const uint64_t start = key_of(START_FEN);
    BookCandidates list;
    EXPECT_EQ(read_book_candidates(book_file(std::vector<Ref>(130, Ref{start, book_move("b1c3"), 1})).c_str(), start, list), 127);
    EXPECT_EQ(book_probe(*board_from(START_FEN), ""), MOVE_NONE);
    EXPECT_EQ(book_probe(*board_from(START_FEN), "/nonexistent/book.bin"), MOVE_NONE);
    // A book cut short still knows the start position.
    const std::string real = read_file(shared_path("data/books/performance.bin"));
    const std::string cut = make_scratch_dir("book") + "/cut.bin";
    write_file(cut, real.substr(0, real.size() - 9));
    EXPECT_NE(book_probe(*board_from(START_FEN), cut.c_str()), MOVE_NONE);
    set_default_options();
}

TEST(GameDriverBook, PlaysFromTwoBooksUpToTheirDepths) {
    const std::string first = book_file({{key_of(START_FEN), book_move("e2e4"), 1}});
    const std::string second = book_file({{key_of("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2"), book_move("g1f3"), 1}});
    EngineProcess engine;  // with its "info depth" lines
    engine.send_line("setoption name OwnBook_File value " + first + "\nsetoption name OwnBook2_File value " + second +
                     "\nsetoption name OwnBook2_Depth value 4");
    std::vector<std::string> seen = engine.ask("position startpos\ngo depth 2");
    EXPECT_EQ(std::vector<std::string>(seen.end() - 3, seen.end()),
              (std::vector<std::string>{"info string ( book moves are: e2e4  )", "info string book move is e2e4", "bestmove e2e4"}));
    // Ply 2: past the first book's miss, the second book answers.
    seen = engine.ask("position startpos moves e2e4 e7e5\ngo depth 2");
    EXPECT_EQ(std::vector<std::string>(seen.end() - 2, seen.end()),
              (std::vector<std::string>{"info string book move is g1f3", "bestmove g1f3"}));
    // Past each book's depth the engine searches, whatever the book holds.
    engine.send_line("setoption name OwnBook2_Depth value 2\nsetoption name OwnBook_Depth value 0");
    for (const char* position : {"position startpos moves e2e4 e7e5", "position startpos"}) {
        seen = engine.ask(std::string(position) + "\ngo depth 2");
        for (const std::string& line : seen) EXPECT_FALSE(contains(line, "book")) << line;
        EXPECT_NE(line_starting(seen, "info depth"), "");
    }
}
