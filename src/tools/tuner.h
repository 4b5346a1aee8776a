// Texel tuning of the hand-crafted evaluation: fits the weights so that a
// logistic curve of the evaluation predicts the outcome of games.
#pragma once

// The values of the "-tune" switch: a PGN or labelled EPD file (or a directory of
// them), then optionally the number of iterations, the words "all" and "zero"
// and settings written name=value.
struct TuneRequest {
    char path[256] = "";
    int iterations = 500;
    int all_params = 0;            // 0: the piece-square tables only; 1: every weight
    int from_zero = 0;             // "zero": start the tables from all zeros instead of their values
    double result_weight = 0.25;   // "blend=": share of the game result in a labelled line's target
    double regularisation = 5e-10; // "reg=": pull of the table values towards zero
    int threads = 1;               // "threads=": threads computing the gradient
};

// Reads the positions, fits the selected weights for the given number of
// iterations, prints the errors before and after (fitting and held-out
// positions) and the resulting parameter text, and leaves the result in the
// parameter table. Returns 0, or 1 when no position was read.
int run_tuner(const TuneRequest& request);

// Reads the switch's values from argv[first] on. Returns the index of the last
// argument consumed, or -1 when the path is missing.
int read_tune_args(int argc, char** argv, int first, TuneRequest& request);
