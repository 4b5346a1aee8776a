// EPD test-suite analysis through the real program: the summary agrees with
// counts the test makes itself from the suites' operands and the analysis file.
#include <regex>
#include <sstream>

#include "test_support.h"

namespace {

std::string operand(const std::string& line, const std::string& opcode) {
    const size_t at = line.find(" " + opcode + " "), start = at + opcode.size() + 2;
    return at == std::string::npos ? "" : line.substr(start, line.find(';', start) - start);
}

// Does the coordinate move ("g3g6") name one of the SAN moves of the operand ("Ba2 Nxf7")?
bool san_names(const std::string& fen, const std::string& move, const std::string& operand) {
    auto tb = board_from(fen);
    Move played, named;
    EXPECT_TRUE(parse_move(*tb, move.c_str(), played)) << move;
    std::istringstream words(operand);
    for (std::string san; words >> san;)
        if (parse_move(*tb, san.c_str(), named) && named == played) return true;
    return false;
}

// The analysed lines as (position, coordinate move).
std::vector<std::pair<std::string, std::string>> analysed(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> out;
    static const std::regex line("(\\S+ [wb] \\S+ \\S+) bm ([a-h][1-8][a-h][1-8]); ce -?\\d+;");
    for (const std::string& l : read_lines(path)) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(l, m, line)) << l;
        out.emplace_back(m[1], m[2]);
    }
    return out;
}

}  // namespace

TEST(EpdAnalysis, SummaryAgreesWithTheSuitesAndBadLinesAreSkipped) {
    const std::string dir = make_scratch_dir("suites");
    // WAC with one to four best moves (22, 31, 33, 38, 41) and an "am" (152); STS with c0 points; no operands.
    const std::vector<std::string> wac = read_lines(shared_path("data/suites/wac.epd")), sts = read_lines(shared_path("data/suites/sts.epd"));
    std::vector<std::string> good;
    for (int n : {1, 2, 22, 31, 33, 38, 41, 152}) good.push_back(wac.at(n - 1));
    for (int n : {1, 401, 801, 1201}) good.push_back(sts.at(n - 1));
    good.push_back("4k3/8/8/8/8/8/4P3/4K3 w - - id \"none\";");
    std::string input = "\n# comment\n short\n8/8/8/8/8/8/8/8 w - - bm Ke2;\n" + good[0] + std::string(560, ' ') + "\n";
    for (const std::string& l : good) input += l + "\n";
    write_file(dir + "/suite.epd", input);
    write_file(dir + "/empty.epd", "");

    const std::string quiet = run_tool({"-anepd", "suite.epd", "-d", "6", "-use_hce"}, dir);
    const auto lines = analysed(dir + "/analysis.epd");
    ASSERT_EQ(lines.size(), good.size());
    int correct = 0, points = 0;
    for (size_t i = 0; i < good.size(); i++) {
        const std::string &fen = lines[i].first, &move = lines[i].second, bm = operand(good[i], "bm"), am = operand(good[i], "am");
        EXPECT_EQ(good[i].rfind(fen, 0), 0u) << good[i];
        correct += bm.empty() ? am.size() && !san_names(fen, move, am) : san_names(fen, move, bm);
        // STS lines repeat the c0 points in c8 and its moves in coordinates in c9.
        std::istringstream moves(operand(good[i], "c9") + " "), values(operand(good[i], "c8") + " ");
        moves.ignore(1), values.ignore(1);
        std::string m;
        for (int value; moves >> m && values >> value;) points += m.substr(0, 4) == move ? value : 0;
    }
    EXPECT_GE(correct, 6);
    const std::string summary = std::to_string(correct) + " / 13 correct best moves\ntotal nodes= \\d+\n"
                                "total time= \\d+\\.\\d\\d seconds\navg depth= \\d\\.\\d\navg nodes= \\d+\\.0\n"
                                "node_rate= \\d+\navg bf= \\d\\.\\d\\d\nscore= " + std::to_string(points) + " / 40\n\n";
    EXPECT_TRUE(std::regex_match(quiet, std::regex("Analyzing suite.epd...\n" + summary))) << quiet;
    // With noise below 99999 each position shows its number, line, board and result; the search is the same.
    const std::string verbose = run_tool({"-anepd", "suite.epd", "-d", "6", "-use_hce", "-noise", "99998", "-o", "v.epd"}, dir);
    EXPECT_EQ(read_file(dir + "/v.epd"), read_file(dir + "/analysis.epd"));
    EXPECT_TRUE(contains(verbose, "pos= 13\n" + good[12] + "\n" + lines[12].first)) << verbose;
    EXPECT_TRUE(std::regex_search(verbose, std::regex("move= " + lines[12].second + ", time= \\d+\\.\\d{3}, score= -?\\d+, nodes= \\d+, \\d+K nps\n\n"))) << verbose;
    EXPECT_TRUE(std::regex_search(verbose, std::regex(summary + "$")));
    EXPECT_TRUE(contains(run_tool({"-anepd", "empty.epd"}, dir), "0 / 0 correct best moves\n"));
}

TEST(EpdAnalysis, BookCandidatesAreLegalPositionsOneMoveAway) {
    const std::string dir = make_scratch_dir("mkbook2");
    const std::vector<std::string> inputs = {START_FEN, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"};
    write_file(dir + "/open.epd", inputs[0] + " id \"a\";\n" + inputs[1] + " id \"b\";\n");
    run_tool({"-mkbook2", "open.epd", "-mpv", "3", "-d", "6", "-use_hce"}, dir);
    EXPECT_EQ(analysed(dir + "/junk.epd").size(), inputs.size());
    auto one_move_from = [](const std::string& from, const std::string& to) {
        auto tb = board_from(from);
        for (Move m : legal_moves(*tb)) {
            char fen[100];
            make_move(tb->pos, m);
            write_fen(tb->pos, fen, 0);
            unmake_move(tb->pos);
            if (to == fen) return true;
        }
        return false;
    };
    size_t input = 0;  // candidates come in input order
    std::vector<int> per_input(inputs.size(), 0);
    for (const std::string& candidate : read_lines(dir + "/tmp_0.epd")) {
        while (input < inputs.size() && !one_move_from(inputs[input], candidate)) input++;
        ASSERT_LT(input, inputs.size()) << candidate << " is one move from no input";
        per_input[input]++;
    }
    for (int n : per_input) EXPECT_TRUE(n >= 1 && n <= 3) << n;
    EXPECT_GT(per_input[0], 1);  // several opening moves lie within 100 centipawns
}
