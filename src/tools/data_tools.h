// The training-data modes of the command line: self-play generation, PGN
// scanning, and the converters and filters of packed-record files.
#pragma once
#include <cstdint>

#include "board/position.h"

// Runs one of the modes MODE_SCAN_PGN, MODE_GEN_TRAINING, MODE_FILTER_TRAINING,
// MODE_EPD_TO_BIN, MODE_BIN_TO_EPD, MODE_BIN_TO_PTB, MODE_SCORE_TRAINING,
// MODE_TRAINING_STATS, MODE_GEN_CORRHIST or MODE_PRUNE_NN with the file names
// of EngineOptions. Returns the exit code: 0 (tools end quietly on bad files).
int run_data_tool(int mode);

// The tools, each on the files named by EngineOptions.
void scan_pgn();           // pgn_input -> output_file (EPD lines with ce and gr)
void epd_to_bin();         // epd_input -> same name with .bin
void bin_to_epd();         // training_file -> same name with .epd
void bin_to_ptb();         // training_file -> same name with .ptb
void filter_training_data();  // training_file -> "filtered.bin"

// The 32 feature indices of a .ptb record (side-to-move view; unused entries 8193).
void ptb_features(const Position& pos, uint16_t features[32]);
