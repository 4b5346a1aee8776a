// The program's modes: chosen by the command line (the last mode switch given
// wins), carried out by the tools and the engine loop.
#pragma once

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
