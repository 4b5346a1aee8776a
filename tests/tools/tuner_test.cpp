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
    TuneRequest request;
    snprintf(request.path, sizeof request.path, "%s", shared_path("data/pgn/edge/kasparov-deep-blue-1997.pgn").c_str());
    request.iterations = 60;
    int code = run_tuner(request);
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
    TuneRequest missing;
    snprintf(missing.path, sizeof missing.path, "/nonexistent.pgn");
    EXPECT_EQ(run_tuner(missing), 1);
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
    EXPECT_EQ(plain.from_zero, 0);
    EXPECT_EQ(plain.threads, 1);
    EXPECT_EQ(read_tune_args(1, argv, 1, plain), -1);

    // Settings in any order after the count; a value out of range is limited.
    char b1[] = "data", b2[] = "zero", b3[] = "blend=1.5", b4[] = "threads=2", b5[] = "reg=1e-9", b6[] = "next";
    char* settings[] = {a0, b1, b2, b3, b4, b5, b6};
    TuneRequest s;
    EXPECT_EQ(read_tune_args(7, settings, 1, s), 5);
    EXPECT_EQ(s.iterations, 500);
    EXPECT_EQ(s.from_zero, 1);
    EXPECT_EQ(s.result_weight, 1.0);
    EXPECT_EQ(s.threads, 2);
    EXPECT_DOUBLE_EQ(s.regularisation, 1e-9);
}
