// Book building through the real binary: the weights and filters on games made
// up for them in awkward PGN (byte order mark, CR LF, comments over lines,
// nested variations, ";" comments, a 2000-character line), and books from real
// collections compared with a tally of the games kept here.
#include "tools/book_builder.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "book/book.h"
#include "test_support.h"
#include "tools/pgn.h"

namespace {

using Entry = std::tuple<uint64_t, uint16_t, uint16_t>;  // key, move, weight

std::vector<Entry> read_book(const std::string& path) {
    std::vector<Entry> book;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return book;
    for (BookEntry e; read_book_entry(file, e) == 0;) book.emplace_back(e.key, e.move, e.weight);
    fclose(file);
    return book;
}

std::string game(const std::string& result, const std::string& moves, const std::string& extra_tags = "") {
    return "[Event \"t\"]\n[White \"w\"]\n[Black \"b\"]\n" + extra_tags + "[Result \"" + result + "\"]\n\n" + moves +
           " " + result + "\n\n";
}

std::string repeat(int n, const std::string& text) { return n > 0 ? text + repeat(n - 1, text) : ""; }

// The key and book move of a SAN move after the moves before it.
std::pair<uint64_t, uint16_t> book_pair(const std::vector<const char*>& before, const char* san) {
    auto tb = board_from(START_FEN);
    Move m;
    for (const char* text : before) {
        EXPECT_TRUE(parse_move(*tb, text, m)) << text;
        make_move(tb->pos, m);
    }
    EXPECT_TRUE(parse_move(*tb, san, m)) << san;
    return {polyglot_key(tb->pos), polyglot_move(tb->pos, m)};
}

}  // namespace

TEST(BookBuilder, WeightsFiltersAndAwkwardPgn) {
    const std::string dir = make_scratch_dir("mkbook");
    // Five wins with 1.e4 e5 2.Nf3 hidden among comments and variations.
    const std::string e4_game =
        "[Event \"a\"]\r\n\r\n[Result \"1-0\"]\r\n\r\n{ a comment\r\n[over lines] ( 1. d4 ) } 1. e4 $1 "
        "( 1. d4 ( 1. c4 c5 ) d5 {)} ) ; 1. d4 is a comment here\r\ne5 {" +
        std::string(2000, 'x') + "} 2. Nf3! 1-0\r\n\r\n";
    const std::string pgn =
        "\xEF\xBB\xBF" + repeat(5, e4_game) + repeat(4, game("1-0", "1. d4 d5")) +  // four wins: too few
        repeat(3, game("1-0", "1.c4")) + repeat(2, game("1/2-1/2", "1. c4")) +
        repeat(2, game("0-1", "1. c4")) +  // 3 W 2 D 2 L: score 10
        repeat(5, game("*", "1. d4")) + repeat(5, game("1-0", "1. d4", "[FEN \"" + std::string(START_FEN) + "\"]\n"));
    write_file(dir + "/games.pgn", pgn);
    std::string out = run_tool({"-quiet", "-mkbook", "games.pgn"}, dir);
    EXPECT_TRUE(contains(out, " Creating file tmp_book.bin from games in games.pgn") &&
                contains(out, "writing book file ...\nngames= 26, nmoves= 6\nbook contains 3 moves\ndone\n")) << out;
    auto [start, e4] = book_pair({}, "e4");
    auto [open, nf3] = book_pair({"e4", "e5"}, "Nf3");
    std::vector<Entry> expected = {{start, e4, 20}, {start, book_pair({}, "c4").second, 10}, {open, nf3, 20}};
    std::stable_sort(expected.begin(), expected.end(),
                     [](auto& a, auto& b) { return std::get<0>(a) < std::get<0>(b); });
    EXPECT_EQ(read_book(dir + "/tmp_book.bin"), expected);

    // Nothing to read: no book written (the reason goes to standard error).
    EXPECT_FALSE(contains(run_tool({"-quiet", "-mkbook", "missing.pgn", "other.bin"}, dir), "Creating"));
    EXPECT_TRUE(read_file(dir + "/other.bin").empty());
}

// The book of a real collection against a tally of its games kept here: the
// first 36 half-moves of decided games, moves with more than four games not
// lost and more not lost than lost, weight 4 per win + 1 per draw - 2 per loss.
TEST(BookBuilder, RealCollectionsGiveTheirTalliedMoves) {
    const std::string dir = make_scratch_dir("mkbook");
    auto tb = board_from(START_FEN);
    for (auto [file, games] : {std::pair{"tal.pgn", 2431}, std::pair{"kasparov.pgn", 2128}}) {
        const std::string pgn = shared_path(std::string("data/pgn/") + file);
        EXPECT_TRUE(contains(run_tool({"-quiet", "-mkbook", pgn, "real.bin"}, dir), "ngames= " + std::to_string(games) + ","));

        std::map<std::pair<uint64_t, uint16_t>, std::array<int, 3>> tally;  // wins, draws, losses
        PgnReader reader;
        ASSERT_EQ(pgn_open(reader, pgn.c_str()), 0);
        auto record = std::make_unique<PgnGame>();
        for (std::string text; pgn_next_game(reader, text);) {
            pgn_parse_game(*record, text.data());
            if (!record->decided || record->fen[0]) continue;
            set_fen(tb->pos, START_FEN);
            for (int i = 0; i < std::min<int>(record->move_count, 36); i++) {
                Move m;
                if (!parse_move(*tb, record->moves[i], m)) break;
                int outcome = tb->pos.side == WHITE ? record->result : -record->result;
                tally[{polyglot_key(tb->pos), polyglot_move(tb->pos, m)}][outcome > 0 ? 0 : outcome == 0 ? 1 : 2]++;
                make_move(tb->pos, m);
            }
        }
        pgn_close(reader);
        std::vector<Entry> expected;
        for (auto& [pair, r] : tally)
            if (r[0] + r[1] > std::max(r[2], 4))
                expected.emplace_back(pair.first, pair.second, std::max(0, 4 * r[0] + r[1] - 2 * r[2]));

        std::vector<Entry> book = read_book(dir + "/real.bin");
        EXPECT_EQ(read_file(dir + "/real.bin").size(), 16 * book.size());
        for (size_t i = 1; i < book.size(); i++) {
            auto [key0, move0, weight0] = book[i - 1];
            auto [key1, move1, weight1] = book[i];
            ASSERT_TRUE(key0 < key1 || (key0 == key1 && weight0 >= weight1)) << file << " entry " << i;
        }
        std::vector<Entry> sorted = book;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, expected) << file;
        EXPECT_GT(book.size(), 500u) << file;

        // Its own probe finds the start position and answers with one of its moves.
        set_fen(tb->pos, START_FEN);
        Move m = book_probe(*tb, (dir + "/real.bin").c_str());
        EXPECT_TRUE(tally.count({polyglot_key(tb->pos), polyglot_move(tb->pos, m)})) << file;
    }
}
