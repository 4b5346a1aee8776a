// The Texel tuner end to end on a small collection: it reads quiet positions,
// lowers the error and writes a parameter text that loads back cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "eval/params.h"
#include "test_support.h"
#include "tools/tuner.h"

namespace {

double number_after(const std::string& out, const std::string& label) {
    size_t at = out.find(label);
    return at == std::string::npos ? -1 : atof(out.c_str() + at + label.size());
}

}  // namespace

TEST(Tuner, FitsTablesOnAFewGamesAndWritesLoadableText) {
    init_eval_params();
    load_param_text(default_param_text);
    EvalParam rook = *eval_handles.mtl_rook;

    testing::internal::CaptureStdout();
    int code = run_tuner(shared_path("data/pgn/edge/kasparov-deep-blue-1997.pgn").c_str(), 60, 0);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0) << out;
    EXPECT_NE(out.find("from 6 games"), std::string::npos) << out;
    double before = number_after(out, "error before= "), after = number_after(out, "error after= ");
    EXPECT_GT(before, 0);
    EXPECT_LT(after, before);
    // Only the tables were tuned.
    EXPECT_EQ(eval_handles.mtl_rook->packed, rook.packed);

    size_t text = out.find("start\n");
    ASSERT_NE(text, std::string::npos);
    std::string written = out.substr(text);
    EXPECT_EQ(written, param_text());
    testing::internal::CaptureStdout();
    load_param_text(written.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    EXPECT_EQ(run_tuner("/nonexistent.pgn", 10, 0), 1);
    testing::internal::GetCapturedStdout();
}

TEST(Tuner, SwitchValues) {
    char a0[] = "-tune", a1[] = "games.pgn", a2[] = "300", a3[] = "all", a4[] = "-quiet";
    char* argv[] = {a0, a1, a2, a3, a4};
    TuneRequest r;
    EXPECT_EQ(read_tune_args(5, argv, 1, r), 3);
    EXPECT_STREQ(r.path, "games.pgn");
    EXPECT_EQ(r.iterations, 300);
    EXPECT_EQ(r.all_params, 1);
    TuneRequest plain;
    char* only_path[] = {a0, a1, a4};
    EXPECT_EQ(read_tune_args(3, only_path, 1, plain), 1);
    EXPECT_EQ(plain.iterations, 500);
    EXPECT_EQ(plain.all_params, 0);
    EXPECT_EQ(read_tune_args(1, argv, 1, plain), -1);
}
