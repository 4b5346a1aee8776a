// The parameter text: the round trip through what the tuner writes, and the
// loader's quirks that old parameter files rely on.
#include <gtest/gtest.h>

#include <cstring>

#include "eval/params.h"
#include "eval_support.h"
#include "test_support.h"

namespace {

std::string load(const std::string& text) {
    testing::internal::CaptureStdout();
    load_param_text(text.c_str());
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Params, TheDefaultTextAndTheLoadersQuirks) {
    init_eval_tests();
    // The default text is what the tuner writes, and reading it back changes nothing.
    const std::string written = param_text();
    EXPECT_EQ(written, std::string(default_param_text));
    EvalParam before[PARAM_CAPACITY];
    memcpy(before, param_table, sizeof before);
    EXPECT_EQ(load(written), "");
    EXPECT_EQ(memcmp(before, param_table, sizeof before), 0);
    // A negative mg borrows from the eg half.
    load("start\nmtl_pawn,100,100\nmtl_knight,-15,4\n");
    EXPECT_EQ(eval_handles.mtl_knight->packed, 4 * 65536 - 15);
    EXPECT_EQ(eg_of(eval_handles.mtl_knight->packed) * 10 + int(eval_handles.mtl_knight->eg), 34);
    // "(comment)" lines, short lines and "start" are skipped; a blank ends a line;
    // a missing eg reads 0; mtl_pawn restarts the running index.
    EXPECT_EQ(load("start\n(comment,1,2)\nab\nmtl_pawn,90,95 mtl_knight,300\r\nmtl_pawn,91,96\n"), "");
    EXPECT_EQ(eval_handles.mtl_pawn->packed, make_score(91, 96));
    EXPECT_EQ(eval_handles.mtl_knight->packed, make_score(300, 0));
    // A name out of order is reported and stored at the running index.
    init_eval_params();
    EXPECT_EQ(load("mtl_knight,357,334\n"), "error mtl_knight  mtl_pawn\n");
    EXPECT_EQ(eval_handles.mtl_pawn->packed, make_score(357, 334));
    // A text longer than the table stops at its end.
    init_eval_tests();
    const int count = param_count;
    EXPECT_TRUE(contains(load(param_text() + "stm_bonus,1,1\n"), "more values than the table"));
    EXPECT_EQ(param_count, count);
    init_eval_tests();
}
