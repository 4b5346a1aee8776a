// Command-line switches: they change EngineOptions and choose the mode.
#pragma once

#include "tools/tuner.h"

// The program's modes; the last mode switch given wins.
enum Mode : int {
    MODE_ENGINE = 1,
    MODE_ANALYSE_EPD = 2,
    MODE_SCAN_PGN = 3,
    MODE_BENCH = 5,
    MODE_MAKE_BOOK = 6,
    MODE_MAKE_CONFIG = 7,
    MODE_TRAIN = 8,
    MODE_TRAIN2 = 9,
    MODE_GEN_TRAINING = 10,
    MODE_SCORE_TRAINING = 11,
    MODE_FILTER_TRAINING = 12,
    MODE_EPD_TO_BIN = 13,
    MODE_BIN_TO_EPD = 14,
    MODE_BIN_TO_PTB = 15,
    MODE_PRUNE_NN = 16,
    MODE_MAKE_BOOK_EPD = 17,
    MODE_TRAINING_STATS = 18,
    MODE_GEN_CORRHIST = 19,
    MODE_TUNE = 20,  // Texel tuning of the evaluation parameters
};

struct CommandLine {
    int mode = MODE_ENGINE;
    bool main_thread_only = false;  // -pbench
    bool bench_word = false;        // "bench [depth]": the deterministic fingerprint run
    int train_flag = 0;             // -train/-train2: the optional third value (0 or 1)
    TuneRequest tune;
};

// Applies the switches left to right. Returns 0, or the exit code 1 when a
// switch lacks its value or a count is below its minimum.
int apply_switches(int argc, char** argv, CommandLine& cmd);
