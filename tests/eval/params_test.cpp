// The parameter table and its text: registration, the default text, the
// loader's quirks (borrow on negative mg, names out of order, overlong texts)
// and the round trip through the text the tuner writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "eval/params.h"
#include "evaluate_support.h"

TEST(ParamsTable, RegistrationAndDefaults) {
    init_eval_tests();
    EXPECT_EQ(param_count, 651);
    EXPECT_EQ(pst_start, 43);
    EXPECT_STREQ(param_table[0].name, "mtl_pawn");
    EXPECT_STREQ(param_table[42].name, "stm_bonus");
    EXPECT_STREQ(param_table[43].name, "PST_P1");
    EXPECT_STREQ(param_table[43 + 8 * 64].name, "PST_K");
    EXPECT_STREQ(param_table[650].name, "ttune");

    const EvalHandles& h = eval_handles;
    EXPECT_EQ(h.mtl_rook->mg, 495);
    EXPECT_EQ(h.mtl_rook->eg, 647);
    EXPECT_EQ(h.mtl_rook->packed, make_score(495, 647));
    EXPECT_EQ(h.king_danger1->mg, -229);
    EXPECT_EQ(h.stm_bonus->eg, 20);
    // The king table is read with the king on files e-h only.
    for (int rank = 0; rank < 8; rank++)
        for (int file = 0; file < 4; file++) {
            EXPECT_EQ(h.pst[PST_K][rank * 8 + file]->packed, 0);
        }
    // Pawns never stand on the first or last rank.
    for (int t : {PST_P1, PST_P2, PST_CP, PST_DP})
        for (int file = 0; file < 8; file++) {
            EXPECT_EQ(h.pst[t][file]->packed, 0);
            EXPECT_EQ(h.pst[t][56 + file]->packed, 0);
        }
}

TEST(ParamsTable, RegistrationValuesBeforeAnyText) {
    init_eval_params();
    EXPECT_EQ(eval_handles.mtl_pawn->packed, make_score(100, 100));
    EXPECT_EQ(eval_handles.mtl_knight->packed, make_score(335, 335));
    EXPECT_EQ(eval_handles.mtl_queen->packed, make_score(1000, 1000));
    EXPECT_EQ(eval_handles.bishop_pair->packed, 0);
    init_eval_tests();
}

TEST(ParamsText, NegativeMgBorrowsFromEg) {
    init_eval_tests();
    load_param_text("start\nmtl_pawn,100,100\nmtl_knight,-15,4\n");
    const EvalParam& p = *eval_handles.mtl_knight;
    EXPECT_EQ(p.packed, 4 * 65536 - 15);
    EXPECT_EQ(mg_of(p.packed), -15);
    EXPECT_EQ(eg_of(p.packed), 3);
    EXPECT_EQ(p.mg, -15);
    EXPECT_EQ(p.eg, 4);
    init_eval_tests();
}

TEST(ParamsText, MisorderedNameIsReportedAndStoredAtTheRunningIndex) {
    init_eval_params();
    testing::internal::CaptureStdout();
    load_param_text("mtl_knight,357,334\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "error mtl_knight  mtl_pawn\n");
    EXPECT_EQ(eval_handles.mtl_pawn->packed, make_score(357, 334));
    EXPECT_EQ(eval_handles.mtl_knight->packed, make_score(335, 335));
    init_eval_tests();
}

TEST(ParamsText, SkippedLinesBlanksAndMissingNumbers) {
    init_eval_tests();
    testing::internal::CaptureStdout();
    // "(comment)" lines, short lines and "start" are skipped; a blank ends a line;
    // a missing eg reads 0; mtl_pawn restarts the running index.
    load_param_text("start\n(comment,1,2)\nab\nmtl_pawn,90,95 mtl_knight,300\r\nmtl_pawn,91,96\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    EXPECT_EQ(eval_handles.mtl_pawn->packed, make_score(91, 96));
    EXPECT_EQ(eval_handles.mtl_knight->packed, make_score(300, 0));
    init_eval_tests();
}

TEST(ParamsText, OverlongTextStopsAtTheEndOfTheTable) {
    init_eval_tests();
    std::string text = param_text() + "stm_bonus,1,1\n";
    testing::internal::CaptureStdout();
    load_param_text(text.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("more values than the table"), std::string::npos);
    EXPECT_EQ(param_count, 651);
    init_eval_tests();
}

TEST(ParamsText, DefaultTextIsWhatTheTunerWrites) {
    init_eval_tests();
    std::string written = param_text();
    EXPECT_EQ(written, std::string(default_param_text));
    // And reading it back changes nothing.
    EvalParam before[PARAM_CAPACITY];
    memcpy(before, param_table, sizeof before);
    testing::internal::CaptureStdout();
    load_param_text(written.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(memcmp(before, param_table, sizeof before), 0);
}
