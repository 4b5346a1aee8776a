// Training positions of the Texel tuner: quiet positions taken from PGN games
// or from labelled self-play lines, each stored as the linear form of its
// evaluation (the multiplier of every fitted weight) with its target.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/thread_board.h"
#include "eval/evaluate.h"

// One position. Everything is seen from white's side.
struct TuneSample {
    float target;      // expected score for white, 0 .. 1
    float result;      // the game's result for white (1, 0.5, 0)
    float phase;       // 1 opening .. 0 bare kings
    float scale[2];    // the ending's scale factor when white (0) or black (1) is ahead
    float fixed_mg;    // what the weights that are not fitted contribute
    float fixed_eg;
    uint32_t first;    // first multiplier in TuneSet::coefs
    uint16_t count;
};

// Multiplier of one fitted weight in a sample, white's minus black's.
struct TuneCoef {
    uint16_t index;
    float value;
};

struct TuneSet {
    std::vector<TuneSample> samples;
    std::vector<TuneCoef> coefs;
    std::vector<Position> positions;  // for the error of the real evaluation
};

// What to read and how to label it.
struct TuneSource {
    std::vector<bool> fitted;     // per parameter: is it fitted (else folded into fixed_mg/eg)
    double result_weight = 0.5;   // labelled lines: target = w * result + (1 - w) * win probability of ce
    int valid_every = 10;         // every n-th game (PGN) or block of lines (EPD) is held out
};

struct TuneData {
    TuneSet train, valid;
    std::vector<double> seen;  // per parameter: how many pieces of either side used it
    int games = 0;             // PGN games read
    long lines = 0;            // labelled lines read
};

// Lines of a labelled file that land in the same hold-out block: a self-play
// game writes its positions one after another, so whole stretches are held out.
constexpr int TUNE_BLOCK_LINES = 256;

// One labelled line "FEN ce N; gr R;": the four FEN fields, the search score and
// the game result for the side to move. False when a field is missing or the
// result is not 0, 0.5 or 1.
bool parse_labelled_line(const char* line, std::string& fen, int& ce, float& result);

// A position the evaluation can be fitted on without a search: the side to move
// is not in check, has no capture that wins material by exchange and no
// promotion, and no endgame rule takes the place of the evaluation.
bool is_quiet_position(const Position& pos);

// Scratch records for reading positions: a board with its history and an evaluation state.
struct TuneReader {
    ThreadBoard tb;
    EvalState es;
    HceTrace trace;
};
std::unique_ptr<TuneReader> new_tune_reader();

// Adds pos with a target and the game result, both for white, to the training or validation set.
void add_tune_position(TuneReader& reader, TuneData& data, TuneSet& set, const TuneSource& source,
                       const Position& pos, float white_target, float white_result);

// Reads one file (.pgn games or labelled .epd lines) or the .pgn and .epd files
// directly inside a directory. A last line without its line end (a file still
// being written) is skipped. Returns the number of files read.
int read_tune_files(const char* path, const TuneSource& source, TuneData& data);

// The linear model of the evaluation for white (no truncation) with the fitted
// weights' values in mg/eg (indexed by parameter).
double tune_model_eval(const TuneSet& set, const TuneSample& s, const double* mg, const double* eg);
