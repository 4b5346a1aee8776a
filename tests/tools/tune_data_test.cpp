// The tuner's positions: labelled self-play lines written and read back, the
// quiet filter, and the linear model, which must reproduce the engine's own
// evaluation for every side and king wing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "eval/params.h"
#include "search/rating.h"
#include "test_support.h"
#include "tools/tune_data.h"

namespace {

const char* const GAMES = "data/pgn/edge/kasparov-deep-blue-1997.pgn";

TuneSource tables_only(int valid_every) {
    TuneSource source;
    source.valid_every = valid_every;
    source.fitted.assign(size_t(param_count), false);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) source.fitted[size_t(i)] = true;
    return source;
}

std::string temp_file(const char* name) { return testing::TempDir() + name; }

// Random values on every table square (the ones the evaluation never reads included).
void randomise_tables(unsigned seed) {
    std::mt19937 rng(seed);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) {
        EvalParam& p = param_table[i];
        p.mg = float(int(rng() % 201) - 100);
        p.eg = float(int(rng() % 201) - 100);
        p.packed = make_score(int(p.mg), int(p.eg));
    }
}

class TunePositions : public testing::Test {
protected:
    void SetUp() override {
        init_eval_params();
        load_param_text(default_param_text);
    }
    void TearDown() override { load_param_text(default_param_text); }
};

}  // namespace

TEST_F(TunePositions, LabelledLinesParse) {
    std::string fen;
    int ce = 0;
    float result = 0;
    ASSERT_TRUE(parse_labelled_line("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce -35; gr 0.5;\n",
                                    fen, ce, result));
    EXPECT_EQ(fen, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    EXPECT_EQ(ce, -35);
    EXPECT_EQ(result, 0.5f);
    ASSERT_TRUE(parse_labelled_line("8/8/8/4k3/8/8/4P3/4K3 b - - gr 0.0; ce 9990;", fen, ce, result));
    EXPECT_EQ(ce, 9990);
    EXPECT_EQ(result, 0.0f);
    const char* rejected[] = {
        "8/8/8/4k3/8/8/4P3/4K3 w - - ce 12;",          // no result
        "8/8/8/4k3/8/8/4P3/4K3 w - - gr 1.0;",         // no score
        "8/8/8/4k3/8/8/4P3/4K3 w - - ce 12; gr 0.7;",  // not a game result
        "8/8/8/4k3/8/8/4P3/4K3 w - - ce 1x2; gr 1.0;",
        "",
    };
    for (const char* line : rejected) EXPECT_FALSE(parse_labelled_line(line, fen, ce, result)) << line;
}

TEST_F(TunePositions, QuietFilter) {
    auto reader = new_tune_reader();
    auto quiet = [&](const char* fen) {
        EXPECT_EQ(set_fen(reader->tb.pos, fen), 0) << fen;
        return is_quiet_position(reader->tb.pos);
    };
    EXPECT_TRUE(quiet("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"));
    EXPECT_FALSE(quiet("rnbqkbnr/ppppp1pp/8/5p2/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -"));  // exf5 wins a pawn
    EXPECT_TRUE(quiet("r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq -"));  // exd4 only trades
    EXPECT_FALSE(quiet("rnbqkb1r/pppp1ppp/5n2/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq -"));  // Nxh5 wins
    EXPECT_FALSE(quiet("4k3/1P6/8/8/8/8/6p1/4K3 w - -"));        // a pawn can promote
    EXPECT_FALSE(quiet("4k3/8/8/8/8/8/4q3/4K2R w K -"));          // in check
    EXPECT_FALSE(quiet("4k3/8/8/8/8/8/4P3/4K3 w - -"));           // the king-and-pawn table answers
    EXPECT_TRUE(quiet("4k3/8/8/8/8/8/4P3/2B1K3 w - -"));
}

// Positions of real games, written as the training-data generator writes them
// (with a line that breaks off at the end, as in a file still being written),
// come back in order with their targets and results for white.
TEST_F(TunePositions, LabelledFileRoundTrip) {
    TuneData games;
    ASSERT_EQ(read_tune_files(shared_path(GAMES).c_str(), tables_only(0), games), 1);
    const std::vector<Position>& positions = games.train.positions;
    ASSERT_GT(positions.size(), 100u);

    std::string path = temp_file("tune_round_trip.epd");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    // Each position three times over, so that the file spans several hold-out blocks.
    std::vector<uint64_t> keys;
    std::vector<int> scores;
    std::vector<float> results;
    std::vector<long> line_numbers;
    long line = 0;
    for (size_t i = 0; i < 3 * positions.size(); i++) {
        const Position& pos = positions[i % positions.size()];
        char fen[128];
        write_fen(pos, fen, 0);
        int ce = int(i * 37 % 801) - 400;
        float result = float(i % 3) * 0.5f;
        line_numbers.push_back(line++);
        fprintf(file, "%s ce %d; gr %0.1f;\n", fen, ce, result);
        if (i % 50 == 7) fprintf(file, "%s ce %d;\n", fen, ce), line++;  // unlabelled: skipped
        keys.push_back(pos.key);
        scores.push_back(ce);
        results.push_back(result);
    }
    fprintf(file, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - ce 2");
    fclose(file);

    TuneData back;
    TuneSource source = tables_only(0);
    source.result_weight = 0.25;
    ASSERT_EQ(read_tune_files(path.c_str(), source, back), 1);
    EXPECT_EQ(back.lines, long(keys.size()));
    ASSERT_EQ(back.train.samples.size(), keys.size());
    EXPECT_TRUE(back.valid.samples.empty());
    for (size_t i = 0; i < keys.size(); i++) {
        const Position& pos = back.train.positions[i];
        ASSERT_EQ(pos.key, keys[i]) << i;
        float own = 0.25f * results[i] + 0.75f * win_probability(float(scores[i]));
        const TuneSample& s = back.train.samples[i];
        EXPECT_NEAR(s.target, pos.side == WHITE ? own : 1 - own, 1e-6) << i;
        EXPECT_EQ(s.result, pos.side == WHITE ? results[i] : 1 - results[i]) << i;
    }

    // Held out: whole blocks of lines, every second one here.
    TuneData split;
    ASSERT_EQ(read_tune_files(path.c_str(), tables_only(2), split), 1);
    size_t train = 0, valid = 0;
    for (size_t i = 0; i < keys.size(); i++) {
        bool held = line_numbers[i] / TUNE_BLOCK_LINES % 2 == 1;
        const TuneSet& set = held ? split.valid : split.train;
        size_t& at = held ? valid : train;
        ASSERT_LT(at, set.positions.size());
        EXPECT_EQ(set.positions[at++].key, keys[i]) << i;
    }
    EXPECT_GT(valid, 0u);
    EXPECT_EQ(train + valid, split.train.samples.size() + split.valid.samples.size());
    remove(path.c_str());
}

// An unfinished game ("*") has no result to fit and is left out.
TEST_F(TunePositions, GamesWithoutResultAreSkipped) {
    std::string path = temp_file("tune_unfinished.pgn");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    const char* moves = "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O "
                        "9. h3 Nb8 10. d4 Nbd7 11. c4 c6 12. Nc3 Qc7";
    fprintf(file, "[Event \"a\"]\n[Result \"*\"]\n\n%s *\n\n", moves);
    fprintf(file, "[Event \"b\"]\n[Result \"1-0\"]\n\n%s 1-0\n\n", moves);
    fclose(file);
    TuneData data;
    read_tune_files(path.c_str(), tables_only(0), data);
    EXPECT_EQ(data.games, 1);
    ASSERT_FALSE(data.train.samples.empty());
    for (const TuneSample& s : data.train.samples) EXPECT_EQ(s.result, 1.0f);
    remove(path.c_str());
}

// The tuner fits the model, the search uses the evaluation: with random tables
// they must agree up to the truncation of the single terms, whichever side is to
// move and wherever the kings stand (each side's squares are mirrored on its own).
TEST_F(TunePositions, ModelReproducesTheEvaluation) {
    randomise_tables(7);
    TuneData data;
    TuneSource source = tables_only(0);
    read_tune_files(shared_path(GAMES).c_str(), source, data);
    auto es = std::make_unique<EvalState>();
    memset(es.get(), 0, sizeof(EvalState));
    std::vector<double> mg(static_cast<size_t>(param_count), 0.0), eg(mg);
    for (int i = 0; i < param_count; i++) mg[size_t(i)] = param_table[i].mg, eg[size_t(i)] = param_table[i].eg;
    int queenside_kings = 0;
    double worst = 0;
    for (size_t i = 0; i < data.train.samples.size(); i++) {
        const Position& pos = data.train.positions[i];
        queenside_kings += file_of(pos.kingSq[WHITE]) <= 3 || file_of(pos.kingSq[BLACK]) <= 3;
        es->eval_ply = 0;
        int score = hce_evaluate(*es, pos);
        double white = pos.side == WHITE ? score : -score;
        double model = tune_model_eval(data.train, data.train.samples[i], mg.data(), eg.data());
        worst = std::max(worst, std::fabs(model - white));
    }
    EXPECT_GT(queenside_kings, 20);
    EXPECT_LT(worst, 10.0);
}
