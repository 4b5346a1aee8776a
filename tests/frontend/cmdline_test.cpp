// Switches change the settings record within their limits; modes, values and
// text fields (what the transcripts do not reach).
#include <gtest/gtest.h>

#include "core/settings.h"
#include "frontend/cmdline.h"

namespace {

int apply(std::vector<std::string> args, CommandLine& cmd) {
    set_default_options();
    args.insert(args.begin(), "quox");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return apply_switches(int(argv.size()), argv.data(), cmd);
}

}  // namespace

TEST(CommandLine, LimitsModesValuesAndTextFields) {
    CommandLine cmd, scan, book, train;
    ASSERT_EQ(apply({"-threads", "0", "-hash", "100000", "-d", "100"}, cmd), 0);
    EXPECT_EQ(std::vector<int>({options.threads, options.hash_mb, options.depth_limit, options.limit_mode}), std::vector<int>({1, 65536, 79, 1}));
    ASSERT_EQ(apply({"-threads", "1000", "-hash", "-5", "-ss", "5"}, cmd), 0);
    EXPECT_EQ(std::vector<int>({options.threads, options.hash_mb, options.selectivity}), std::vector<int>({512, 0, 10}));
    ASSERT_EQ(apply({"-threads", "many"}, cmd), 0);  // lenient: no digits reads as 0
    EXPECT_EQ(options.threads, 1);
    ASSERT_EQ(apply({"-bench", "-anepd", "suite.epd", "-quiet", "unknown", "-pbench", "-c", "-log"}, cmd), 0);
    EXPECT_EQ(cmd.mode, MODE_BENCH);  // the last mode switch wins
    EXPECT_TRUE(cmd.main_thread_only);
    EXPECT_STREQ(options.epd_input, "suite.epd");
    EXPECT_EQ(std::vector<float>({options.noise, float(options.uci_mode), float(options.log)}), std::vector<float>({99999, 0, 2}));
    ASSERT_EQ(apply({"--scan_pgn", "games.pgn"}, scan), 0);  // matched anywhere in the word
    EXPECT_EQ(scan.mode, MODE_SCAN_PGN);
    EXPECT_STREQ(options.pgn_input, "games.pgn");
    // The book name after -mkbook is optional (both forms run in BookBuilder.*): a switch after it stays a switch.
    ASSERT_EQ(apply({"-mkbook", "games.pgn", "-hash", "5"}, book), 0);
    EXPECT_EQ(std::tuple(book.mode, book.book_output, options.hash_mb), std::tuple(MODE_MAKE_BOOK, std::string(), int32_t(5)));
    ASSERT_EQ(apply({"-train", "data.bin", "5", "1", "-lr", "0.01"}, train), 0);
    EXPECT_EQ(std::tuple(train.mode, options.record_count, options.hash_mb), std::tuple(MODE_TRAIN, uint64_t(5000000), int32_t(0)));
    EXPECT_FLOAT_EQ(options.learning_rate, 0.01f);
    // Missing values and counts below one fail (the exit codes of the others are in the UCI transcripts).
    EXPECT_EQ(apply({"-gentraindata", "out.bin"}, cmd), 1);
    EXPECT_EQ(apply({"-gentraindata", "out.bin", "0"}, cmd), 1);
    // Text values never overrun their fields.
    const std::string longer(1000, 'f');
    ASSERT_EQ(apply({"-o", longer, "-cfg", longer, "-bin2epd", longer}, cmd), 0);
    EXPECT_EQ(std::vector<size_t>({strlen(options.output_file), strlen(options.config_file), strlen(options.training_file)}),
              std::vector<size_t>({139, sizeof options.config_file - 1, 140}));
    EXPECT_STREQ(options.nn_file, "embedded");
}
