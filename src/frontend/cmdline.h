// Command-line switches: they change EngineOptions and choose the mode.
#pragma once
#include <string>

#include "tools/modes.h"
#include "tools/tuner.h"

struct CommandLine {
    int mode = MODE_ENGINE;
    bool main_thread_only = false;  // -pbench
    bool bench_word = false;        // "bench [depth]": the deterministic fingerprint run
    int train_flag = 0;             // -train/-train2: the optional third value (0 or 1)
    std::string book_output;        // -mkbook: the optional second value, the book file written
    bool output_named = false;      // -o given: the EPD analysis writes there, not to its own default
    const char* config_out = nullptr;  // -mkconfig's optional file
    TuneRequest tune;
};

// Applies the switches left to right. Returns 0, or the exit code 1 when a
// switch lacks its value or a count is below its minimum.
int apply_switches(int argc, char** argv, CommandLine& cmd);
