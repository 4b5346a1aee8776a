// Texel tuning of the hand-crafted evaluation: fits the weights so that a
// logistic curve of the evaluation predicts the results of real games.
#pragma once

// Reads the games of a PGN file (or of every .pgn file in a directory), keeps
// quiet positions, fits the piece-square tables (all_params = 0) or every
// weight (1) for the given number of iterations, prints the errors before and
// after and the resulting parameter text. Returns 0, or 1 when no position was read.
int run_tuner(const char* path, int iterations, int all_params);

// The values of the "-tune" switch: a PGN file or directory, then optionally the
// number of iterations and the word "all".
struct TuneRequest {
    char path[256] = "";
    int iterations = 500;
    int all_params = 0;
};

// Reads the switch's values from argv[first] on. Returns the index of the last
// argument consumed, or -1 when the path is missing.
int read_tune_args(int argc, char** argv, int first, TuneRequest& request);
