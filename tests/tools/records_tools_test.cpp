// Packed training records: the decoder's filters, thinning and odd bytes,
// result scores and the files refused; then the training-data tools through
// the real program: EPD to records and back (positions of whole games through
// the encoder and the decoder), the duplicate filter, feature lists,
// adjudication and self-play generation.

#include <algorithm>
#include <regex>

#include "records_helpers.h"
#include "search/rating.h"
#include "tools/data_tools.h"
#include "tools/datagen.h"

namespace {

int decode(const PackedPosition& r, Position& pos, float& target) { return decode_training_record(&r, 0, pos, target); }

}  // namespace

TEST(Records, ResultScoresTheDecodersFiltersAndRefusedFiles) {
    for (auto [result, score] : {std::pair{1.0f, 2760}, {0.999999f, 2760}, {0.5f, 0}, {0.0f, -2763}, {0.25f, -219}})
        EXPECT_NEAR(result_score(result), score, 1) << result;
    EXPECT_NEAR(result_score(win_probability(150)), 150, 1);
    // Few pieces: never thinned, so only the filters decide. The target blends result and score 1:3.
    const std::string quiet = "4k3/8/8/3p4/8/8/3P4/4K3 w - -";
    Position pos{};
    float target;
    for (int i = 0; i < 50; i++) ASSERT_EQ(decode(record_of(quiet, 0, 30), pos, target), 1);
    EXPECT_NEAR(target, 0.25f * 0.5f + 0.75f * win_probability(30), 1e-6);
    EXPECT_EQ(decode(record_of(quiet, -2763, 600), pos, target), 0);  // 0.95 against a lost game
    EXPECT_NEAR(target, 0.25f * win_probability(-2763) + 0.75f * win_probability(600), 1e-6);
    EXPECT_EQ(decode(record_of(quiet, 2760, 300), pos, target), 1);
    PackedPosition no_king = record_of(quiet, 0, 0);
    no_king.board[2] = 0;  // e1 is square 4: byte 2, low nibble
    EXPECT_EQ(decode(no_king, pos, target), 0);
    // The side to move may stand in check; the other side may not.
    PackedPosition checked = record_of("4k3/8/8/8/8/8/8/r3K3 w - -", 0, 0);
    EXPECT_EQ(decode(checked, pos, target), 1);
    checked.side_castling = 0x10;
    EXPECT_EQ(decode(checked, pos, target), 0);
    // Castling rights without their rook drop; an en-passant byte past the board means none.
    PackedPosition rights = record_of("4k2r/8/8/8/8/8/8/R3K3 w - -", 0, 0);
    rights.side_castling = 0x0F;
    rights.ep_square = 64;
    decode(rights, pos, target);
    EXPECT_EQ(pos.castleRights * 10 + (pos.epSquare == NO_SQUARE), (WHITE_OOO | BLACK_OO) * 10 + 1);
    // Crowded positions are thinned: 32 pieces at home are kept 96 times in 256; 29 with
    // 18 at home are rejected below max((5 x 29 - 120) x 4, 8 x 18 - 128) = 100.
    const PackedPosition start = record_of(START_FEN, 0, 20);
    const PackedPosition middle = record_of("r1b2rk1/pp3ppp/2n1pn2/q2p4/2PP4/P1N1PN2/1P3PPP/R2QKB1R w KQ -", 0, 20);
    training_random() = 12345;
    int kept_start = 0, kept_middle = 0;
    for (int i = 0; i < 20000; i++) kept_start += decode(start, pos, target), kept_middle += decode(middle, pos, target);
    EXPECT_NEAR(kept_start / 20000.0, 96.0 / 256, 0.02);
    EXPECT_NEAR(kept_middle / 20000.0, 156.0 / 256, 0.02);
    // Only ".bin" names are training files. (A whole file read back: the -bin2epd round trip below.)
    const std::string dir = make_scratch_dir("records");
    write_records(dir + "/set.dat", {start, middle});
    options.noise = 99999;
    EXPECT_EQ(read_training_file((dir + "/set.dat").c_str()), -1);
    EXPECT_EQ(read_training_file((dir + "/missing.bin").c_str()), -1);
    EXPECT_EQ(training_set.count, 0u);
    training_set_free();
}

TEST(RecordsTools, EpdToBinAndBackKeepsPositionsAndScores) {
    const std::string dir = make_scratch_dir("epd2bin"), quiet = "4k3/8/8/3p4/8/8/3P4/4K3 w - -";
    std::vector<std::string> fens;  // castling rights and en-passant squares among them, as FEN text can tell them
    for (const std::string& fen : random_game_fens(5, 16, 80)) {
        char text[100];
        write_fen(board_from(fen)->pos, text, 0);
        fens.push_back(text);
    }
    std::string epd = "# a comment line\n; another\n short\n";
    std::vector<std::string> expected;  // the lines -bin2epd must give back
    for (size_t i = 0; i < fens.size(); i++) {
        const int ce = int(i % 400) - 200;
        const char* gr = i % 3 == 0 ? "1.0" : i % 3 == 1 ? "0.5" : "0.0";
        const int sc = gr[0] == '1' ? ce + 300 : gr[2] == '5' ? ce / 4 : ce - 300;  // agrees with the result
        expected.push_back(fens[i] + " ce " + std::to_string(ce) + "; sc " + std::to_string(sc) + "; gr " + gr + ";");
        epd += expected.back() + "\n";
    }
    epd += quiet + " ce 150;\n";                      // sc = ce, gr = probability of 150
    epd += quiet + " sc -500; gr 1.0;\n";             // contradicts the win: skipped
    epd += quiet + " ce 450; gr 0.5;\n";              // p 0.905 for a draw: skipped
    epd += quiet + " ce 400; gr 0.5;\n";              // p 0.88: kept, result 0
    epd += quiet + " gr 0.5;\n";                      // no score at all: skipped
    epd += "8/8/8/8/8/8/8/8 w - - ce 10; gr 0.5;\n";  // no position: skipped
    write_file(dir + "/set.epd", epd);
    const std::string out = run_tool({"-quiet", "-epd2bin", dir + "/set.epd"}, dir), stored = std::to_string(fens.size() + 2);
    EXPECT_TRUE(contains(out, "reading positions from file " + dir + "/set.epd.\nread " + stored + " positions.\n\n") &&
                contains(out, "stored " + stored + " positions in " + dir + "/set.bin.\n\n")) << out;
    rename((dir + "/set.bin").c_str(), (dir + "/back.bin").c_str());
    run_tool({"-quiet", "-bin2epd", dir + "/back.bin"}, dir);
    expected.push_back(quiet + " ce 150; sc 150; gr 0.7;");
    expected.push_back(quiet + " ce 400; sc 400; gr 0.5;");
    EXPECT_EQ(read_lines(dir + "/back.epd"), expected);
}

TEST(RecordsTools, FilterDropsRepeatedPositionsAndKeepsTheRest) {
    const std::string dir = make_scratch_dir("filter");
    std::vector<PackedPosition> input, expected;
    for (const std::string& fen : random_game_fens(7, 4, 50)) {
        const PackedPosition r = record_of(fen, 0, int(input.size()));
        if (std::none_of(expected.begin(), expected.end(), [&](auto& e) { return record_key(e) == record_key(r); })) expected.push_back(r);
        input.push_back(r);
    }
    // Again with other scores and the other side to move: all repeats.
    for (size_t i = 0, distinct = input.size(); i < 40; i++) {
        PackedPosition again = input[i * 3 % distinct];
        again.sc = 77;
        again.side_castling ^= 0x10;
        input.push_back(again);
    }
    // Other castling rights or en-passant square: different positions.
    PackedPosition castling = record_of(START_FEN, 0, 0), ep = record_of("rnbqkbnr/pp2p1pp/8/2ppPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6", 0, 0);
    castling.side_castling = 0x03;
    for (const PackedPosition& r : {castling, ep}) input.push_back(r), expected.push_back(r);
    ep.ep_square = 64;
    input.push_back(ep), expected.push_back(ep);
    write_records(dir + "/data.bin", input);
    const std::string out = run_tool({"-quiet", "-filtertraindata", "data.bin"}, dir);
    EXPECT_TRUE(std::regex_search(out, std::regex("filtering duplicates from data.bin\n\\d\\d:\\d\\d\n"))) << out;
    EXPECT_TRUE(contains(out, "wrote " + std::to_string(expected.size()) + " positions to filtered.bin\n\n")) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("max block count is [123]\n"))) << out;
    const std::vector<PackedPosition> kept = read_records(dir + "/filtered.bin");
    ASSERT_EQ(kept.size(), expected.size());
    EXPECT_EQ(memcmp(kept.data(), expected.data(), kept.size() * sizeof(PackedPosition)), 0);
}

// Each record becomes 32 feature numbers and its target (68 bytes), seen from the side to move.
TEST(RecordsTools, FeatureListsSeeTheBoardFromTheSideToMove) {
    const std::string dir = make_scratch_dir("ptb");
    write_records(dir + "/three.bin", {record_of("7k/8/8/8/8/8/4P3/3K4 w - -", 2760, 250), record_of("7k/8/8/8/8/8/4P3/3K4 b - -", 0, 0),
                                       record_of(START_FEN, -2763, 600)});
    run_tool({"-quiet", "-bin2ptb", "three.bin"}, dir);
    const std::string bytes = read_file(dir + "/three.ptb");
    ASSERT_EQ(bytes.size(), 3 * 68u);
    uint16_t f[2][4];
    float target[3];
    for (int i = 0; i < 3; i++) memcpy(&target[i], bytes.data() + 68 * i + 64, 4);
    for (int i = 0; i < 2; i++) memcpy(f[i], bytes.data() + 68 * i, 8);
    // Pawn e2 with the king on the d file: 64 + 0 + (12 ^ 7); own king d1; the other king h8; the end.
    EXPECT_EQ(std::vector<int>(f[0], f[0] + 4), (std::vector<int>{75, 3 ^ 7, 384 + (63 ^ 7), 8193}));
    // Black to move with its king on the h file: the board is turned (XOR 56) only.
    EXPECT_EQ(std::vector<int>(f[1], f[1] + 3), (std::vector<int>{64 + 384 + (12 ^ 56), 384 + (3 ^ 56), 63 ^ 56}));
    EXPECT_FLOAT_EQ(target[0], 0.25f * win_probability(2760) + 0.75f * win_probability(250));
    // A record the decoder rejects still carries its own target.
    EXPECT_FLOAT_EQ(target[2], 0.25f * win_probability(-2763) + 0.75f * win_probability(600));
}

TEST(RecordsTools, AdjudicationAndTheGamesWritten) {
    // score, previous score, ply -> +1 win, -1 loss, 0 draw, 2 play on
    const int cases[][4] = {{1500, -1500, 10, 1}, {1500, -1499, 10, 2}, {1600, 0, 250, 1}, {-1500, 1500, 3, -1},
                            {-1500, 1499, 249, 2}, {-1500, 0, 250, -1}, {501, 0, 249, 2},  {501, 0, 250, 1},
                            {-501, 0, 260, -1},  {500, 0, 250, 0},   {-500, 0, 250, 0}};
    for (auto [score, prev, ply, verdict] : cases) EXPECT_EQ(adjudicate(score, prev, ply), verdict) << score << " " << prev << " " << ply;
    // Games are written from thirty plies on, their positions from ply eight, quiet ones only.
    const std::string dir = make_scratch_dir("gamewrite");
    std::vector<GeneratedPly> plies(40);
    for (int i = 0; i < 40; i++) {
        GeneratedPly& p = plies[i];
        snprintf(p.fen, sizeof p.fen, "fen%d", i);
        snprintf(p.move, sizeof p.move, "m%d {0.10/5}", i);
        p.side = uint8_t(i & 1);
        p.score = int16_t(i);
        p.static_eval = i == 20 ? -3000 : 10;   // in check
        p.qscore = i == 12 ? -40 : 10;          // static eval 50 above the captures' score: not quiet
    }
    const float black_won[2] = {0.0f, 1.0f};
    FILE* pgn = fopen((dir + "/g.pgn").c_str(), "w");
    FILE* out = fopen((dir + "/g.epd").c_str(), "w");
    EXPECT_EQ(write_generated_game(pgn, out, 7, "start", plies.data(), 20, black_won), 0);
    EXPECT_EQ(write_generated_game(pgn, out, 8, "start", plies.data(), 40, black_won), 30);
    fclose(pgn);
    fclose(out);
    const std::vector<std::string> lines = read_lines(dir + "/g.epd");
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(std::vector<std::string>({lines[0], lines[1], lines[4]}),
              std::vector<std::string>({"fen8 ce 8; gr 0.0;", "fen9 ce 9; gr 1.0;", "fen13 ce 13; gr 1.0;"}));
    const std::string text = read_file(dir + "/g.pgn");
    EXPECT_EQ(text.rfind("[Event \"autogen\"]\n[Game \"g_8\"]\n[White \"Quox\"]\n[Black \"Quox\"]\n[Result \"0-1\"]\n"
                         "[FEN \"start\"]\nm0 {0.10/5} m1 {0.10/5} \nm2 {0.10/5} ", 0), 0u) << text;
    EXPECT_TRUE(text.size() > 2 && text.substr(text.size() - 3) == "\n\n\n");
}

TEST(RecordsTools, SelfPlayGenerationWritesWholeGamesAndTheirPositions) {
    const std::string dir = make_scratch_dir("gentrain");
    // Six lines in eight are openings, so that some of the eight games are played.
    const std::string openings = "rnbqkb1r/pppp1ppp/5n2/4p3/2P5/2N5/PP1PPPPP/R1BQKBNR w KQkq - 2 3\n"
                                 "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3\n";
    write_file(dir + "/mybook_6mv.epd", openings + openings + openings + "not a position\n4k3/8/8/8/8/8/8/QR2K3 w - - 0 1\n");
    EXPECT_EQ(run_tool({"-gentraindata", "out.epd", "8", "-d", "2", "-use_hce"}, dir), "generating training data\n");
    const std::string pgn = read_file(dir + "/autogen.pgn");
    const std::vector<std::string> lines = read_lines(dir + "/out.epd");
    // Every game written is at least 30 plies long; the won ending is adjudicated at once and never written.
    const std::regex game_re("\\[Game \"g_(\\d)\"\\]\n\\[White \"Quox\"\\]\n\\[Black \"Quox\"\\]\n\\[Result \"(1-0|0-1|1/2-1/2)\"\\]\n"
                             "\\[FEN \"([^\"]*)\"\\]\n([^\\[]*)");
    int games = 0;
    size_t most_lines = 0;
    for (auto it = std::sregex_iterator(pgn.begin(), pgn.end(), game_re); it != std::sregex_iterator(); ++it, games++) {
        const std::string fen = (*it)[3], moves = (*it)[4];
        const int plies = int(std::count(moves.begin(), moves.end(), '{'));
        EXPECT_TRUE(!contains(fen, "QR2K3") && plies >= 30 && plies <= 251) << fen << " " << plies;
        most_lines += size_t(plies - 8);
        EXPECT_TRUE(std::regex_search(moves, std::regex("^[A-Za-z][a-h1-8xKQRBN=+#-]* \\{-?\\d+\\.\\d\\d/\\d+\\} "))) << moves;
    }
    EXPECT_TRUE(games >= 1 && games <= 8) << pgn;
    EXPECT_TRUE(!lines.empty() && lines.size() <= most_lines);
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, std::regex("[^ ]+ [wb] [KQkq-]+ [a-h1-8-]+ ce -?\\d+; gr (1\\.0|0\\.5|0\\.0);"))) << line;
}
