// The training-data tools that search, count and prune, through the real
// program: re-scored positions, the material and correction reports, and a
// pruned network that still evaluates like the wide one it came from.

#include <regex>

#include "eval/nn/infer.h"
#include "eval/nn/network_file.h"
#include "records_helpers.h"
#include "search/rating.h"

namespace {

std::vector<int> evaluations(const std::string& net, const std::vector<std::string>& fens) {
    load_network_file(net);
    NNState st{};
    std::vector<int> scores;
    for (const std::string& fen : fens) {
        st.eval_ply = 0;
        scores.push_back(nn_evaluate(st, board_from(fen)->pos));
    }
    nn_state_free(st);
    return scores;
}

const std::string PAWN_UP = "4k3/8/8/8/8/8/4P3/4K3";  // few pieces: the decoder's thinning keeps it

}  // namespace

TEST(TrainReports, RescoredPositionsFollowTheirLineAndReadBackAsRecords) {
    const std::string dir = make_scratch_dir("score");
    std::string input = "# comment\n\n" + std::string(600, 'x') + "\nnot a position ce 5;\n";
    const std::vector<std::string> fens = random_game_fens(3, 3, 24);
    for (size_t i = 0; i < fens.size(); i++)  // ce 11, 22, 33 ... tells the sources apart
        input += fens[i] + " ce " + std::to_string(11 * (i + 1)) + (i % 2 ? "; gr 1.0;\n" : ";\n");
    write_file(dir + "/in.epd", input);
    // The switch points SyzygyPath at a folder this machine does not have.
    EXPECT_EQ(run_tool({"-quiet", "-scoretraindata", "in.epd", "-o", "out.epd", "-d", "4", "-use_hce"}, dir),
              "info string Found 0 WDL, 0 DTM and 0 DTZ tablebase files. Largest 0-men\nnot a position ce 5;\n");
    const std::vector<std::string> lines = read_lines(dir + "/out.epd");
    ASSERT_GT(lines.size(), fens.size() / 4);
    int readable = 0;  // what -epd2bin keeps: scores that agree with the result
    static const std::regex line_re("(\\S+ ([wb]) \\S+ \\S+) (ce (-?\\d+); )?sc (-?\\d+);( gr ([01])\\.0;)?");
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, line_re)) << line;
        auto tb = board_from(m[1].str());
        EXPECT_FALSE(is_attacked(tb->pos, tb->pos.kingSq[tb->pos.side], tb->pos.side ^ 1)) << line;
        ASSERT_EQ(m[3].matched, m[6].matched) << line;
        if (!m[6].matched) {
            readable++;
            continue;
        }
        const int ce = std::stoi(m[4]);
        const size_t source = size_t(std::abs(ce) / 11 - 1);
        ASSERT_TRUE(source < fens.size() && source % 2 == 1) << line;
        // An even number of plies played out leaves all as it was; an odd one turns everything.
        const bool same_side = contains(fens[source], m[2] == "w" ? " w " : " b ");
        EXPECT_TRUE(same_side == (ce > 0) && same_side == (m[7] == "1")) << line;
        const float p = win_probability(std::stof(m[5]));
        readable += m[7] == "1" ? p >= 0.2f : p <= 0.8f;
    }
    EXPECT_TRUE(contains(run_tool({"-quiet", "-epd2bin", "out.epd"}, dir), "stored " + std::to_string(readable) + " positions"));
}

TEST(TrainReports, MaterialAndCorrectionReports) {
    const std::string dir = make_scratch_dir("reports");
    std::vector<PackedPosition> records(3, record_of(PAWN_UP + " w - -", 2760, 300));
    records.push_back(record_of("r3k3/8/8/8/8/8/8/4K2R b - -", 0, 10));
    records.push_back(record_of("kn6/bb6/2qqqrrn/8/8/1BQQQRRB/2NN4/7K w - -", 0, 0));  // 98 units: past the table
    records.push_back(record_of(PAWN_UP + " b - -", -2763, 600));  // score against the result: rejected
    write_records(dir + "/d.bin", records);
    std::string expected;
    for (int units = 0; units < 80; units++) {
        char line[32];
        snprintf(line, sizeof line, "%2d.  %8d\n", units, units == 1 ? 3 : units == 10 ? 1 : 0);
        expected += line;
    }
    EXPECT_EQ(run_tool({"-quiet", "-tdstats", "d.bin"}, dir), expected);
    EXPECT_EQ(run_tool({"-quiet", "-tdstats"}, dir), "");  // the fixed training set is not here
    // Won a pawn up (bucket 101) in 64 records; lost a pawn down (bucket 99) in more than the damping counts.
    records.assign(64, record_of(PAWN_UP + " w - -", 2760, 3000));
    records.insert(records.end(), 300, record_of(PAWN_UP + " b - -", -2763, -3000));
    write_records(dir + "/c.bin", records);
    expected.clear();
    for (int b = 0; b < 200; b++) expected += std::to_string(b == 101 ? 25 : b == 99 ? -100 : 0) + ", ";
    EXPECT_EQ(run_tool({"-quiet", "-gencorrhist", "c.bin"}, dir), expected + "\n");
}

TEST(TrainReports, PrunedNetworkLoadsAndEvaluatesLikeTheWideOne) {
    const std::string dir = make_scratch_dir("prune");
    load_network_file("embedded");
    const Network& small = network;
    const int H = small.acc_size_white(), WIDE = 1536;
    EXPECT_EQ(run_tool({"-quiet", "-prune_nn"}, dir), "the network has " + std::to_string(H) + " neurons, not more than 1408: nothing to prune\n");
    // The embedded neurons spread over a wider network, between neurons that contribute nothing.
    NetworkHeader h = small.header;
    h.sizes[SIZE_ACC_WHITE] = h.sizes[SIZE_ACC_BLACK] = int16_t(WIDE);
    Network wide;
    ASSERT_EQ(network_allocate(wide, h), 0);
    for (int k = 0, j = 0; k < H; k++, j += WIDE / H) {
        for (int r = 0; r < h.input_buckets * NET_FEATURES; r++) wide.feature_weights[r * WIDE + j] = small.feature_weights[r * H + k];
        wide.bias_white[j] = small.bias_white[k];
        wide.bias_black[j] = small.bias_black[k];
        for (int out : {OUT_OWN, OUT_OTHER})
            for (int r = 0; r < NET_OUTPUT_BUCKETS; r++) wide.outputs[out][r * WIDE + j] = small.outputs[out][r * H + k];
    }
    ASSERT_EQ(save_network((dir + "/wide.net").c_str(), h, wide.weights), 0);
    network_free(wide);
    const std::vector<std::string> fens = random_game_fens(11, 8, 40);
    std::vector<PackedPosition> records;
    for (const std::string& fen : fens) records.push_back(record_of(fen, 0, 0));
    write_records(dir + "/train.bin", records);
    write_file(dir + "/wide.cfg", "NN_File = " + dir + "/wide.net\n");
    EXPECT_TRUE(contains(run_tool({"-quiet", "-cfg", "wide.cfg", "-prune_nn", "train.bin"}, dir),
                         "train.bin\nCollecting stats ...\n\nWriting pruned net to pruned.bin ...\n\n"));
    const std::vector<int> before = evaluations(dir + "/wide.net", fens), after = evaluations(dir + "/pruned.bin", fens);
    EXPECT_EQ(network.weight_count, h.input_buckets * 768 * 1408 + 25344);
    double total = 0;
    for (size_t i = 0; i < before.size(); i++) total += std::abs(before[i] - after[i]);
    EXPECT_LT(total / double(before.size()), 0.5);
    load_network_file("embedded");
}
