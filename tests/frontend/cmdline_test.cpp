// Switches change the settings record within their limits; modes, values and fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(CommandLine, NumbersAreLimitedToTheirRanges) {
    CommandLine cmd;
    ASSERT_EQ(apply({"-threads", "0", "-hash", "100000", "-d", "100"}, cmd), 0);
    EXPECT_EQ(options.threads, 1);
    EXPECT_EQ(options.hash_mb, 65536);
    EXPECT_EQ(options.depth_limit, 79);
    EXPECT_EQ(options.limit_mode, 1);
    ASSERT_EQ(apply({"-threads", "1000", "-hash", "-5", "-ss", "5"}, cmd), 0);
    EXPECT_EQ(options.threads, 512);
    EXPECT_EQ(options.hash_mb, 0);
    EXPECT_EQ(options.selectivity, 10);
    ASSERT_EQ(apply({"-threads", "many"}, cmd), 0);  // lenient: no digits reads as 0
    EXPECT_EQ(options.threads, 1);
}

TEST(CommandLine, ModesValuesAndTextFields) {
    CommandLine cmd;
    ASSERT_EQ(apply({"-bench", "-anepd", "suite.epd", "-quiet", "unknown", "-pbench", "-c", "-log"}, cmd), 0);
    EXPECT_EQ(cmd.mode, MODE_BENCH);  // the last mode switch wins
    EXPECT_TRUE(cmd.main_thread_only);
    EXPECT_STREQ(options.epd_input, "suite.epd");
    EXPECT_EQ(options.noise, 99999);
    EXPECT_EQ(options.uci_mode, 0);
    EXPECT_EQ(options.log, 2);
    CommandLine scan;
    ASSERT_EQ(apply({"--scan_pgn", "games.pgn"}, scan), 0);  // matched anywhere in the word
    EXPECT_EQ(scan.mode, MODE_SCAN_PGN);
    EXPECT_STREQ(options.pgn_input, "games.pgn");
    CommandLine book, named;
    ASSERT_EQ(apply({"-mkbook", "games.pgn", "-hash", "5"}, book), 0);
    EXPECT_EQ(book.mode, MODE_MAKE_BOOK);
    EXPECT_EQ(book.book_output, "");
    EXPECT_EQ(options.hash_mb, 5);
    ASSERT_EQ(apply({"-mkbook", "games.pgn", "my.bin", "-hash", "5"}, named), 0);  // an optional book name
    EXPECT_EQ(named.book_output, "my.bin");
    EXPECT_STREQ(options.pgn_input, "games.pgn");
    EXPECT_EQ(options.hash_mb, 5);
    CommandLine gen;
    ASSERT_EQ(apply({"-gentraindata", "out.bin", "100"}, gen), 0);
    EXPECT_EQ(gen.mode, MODE_GEN_TRAINING);
    EXPECT_EQ(options.record_count, 100u);
    EXPECT_EQ(options.book_variety, 75);
    CommandLine train;
    ASSERT_EQ(apply({"-train", "data.bin", "5", "1", "-lr", "0.01"}, train), 0);
    EXPECT_EQ(train.mode, MODE_TRAIN);
    EXPECT_EQ(options.record_count, 5000000u);
    EXPECT_EQ(options.hash_mb, 0);
    EXPECT_FLOAT_EQ(options.learning_rate, 0.01f);
    // Missing values and counts below one fail.
    for (std::vector<std::string> bad : {std::vector<std::string>{"-hash"}, {"-gentraindata", "out.bin"},
                                         {"-gentraindata", "out.bin", "0"}, {"-train", "data.bin", "0"}})
        EXPECT_EQ(apply(bad, cmd), 1) << bad[0] << " " << bad.size();
    // Text values never overrun their fields.
    const std::string longer(1000, 'f');
    ASSERT_EQ(apply({"-o", longer, "-cfg", longer, "-bin2epd", longer}, cmd), 0);
    EXPECT_EQ(std::string(options.output_file).size(), 139u);
    EXPECT_EQ(std::string(options.config_file).size(), sizeof options.config_file - 1);
    EXPECT_EQ(std::string(options.training_file).size(), 140u);
    EXPECT_STREQ(options.nn_file, "embedded");
}
