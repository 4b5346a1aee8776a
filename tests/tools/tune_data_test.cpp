// The Texel tuner: labelled self-play lines written and read back, the quiet
// filter, games without a result, the model against the evaluation, its
// switches, and a run end to end that lowers the error and writes a parameter
// text that loads back cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "eval/params.h"
#include "search/rating.h"
#include "test_support.h"
#include "tools/tune_data.h"
#include "tools/tuner.h"

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

std::string captured(int& code, const TuneRequest& request) {
    testing::internal::CaptureStdout();
    code = run_tuner(request);
    return testing::internal::GetCapturedStdout();
}

class Tuning : public testing::Test {
protected:
    void SetUp() override {
        init_eval_params();
        load_param_text(default_param_text);
    }
    void TearDown() override { load_param_text(default_param_text); }
};

}  // namespace

TEST_F(Tuning, LabelledLinesAndTheQuietFilter) {
    std::string fen;
    int ce = 0;
    float result = 0;
    ASSERT_TRUE(parse_labelled_line("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce -35; gr 0.5;\n", fen, ce, result));
    EXPECT_EQ(fen, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    EXPECT_EQ(ce * 10 + int(result * 2), -350 + 1);
    ASSERT_TRUE(parse_labelled_line("8/8/8/4k3/8/8/4P3/4K3 b - - gr 0.0; ce 9990;", fen, ce, result));
    EXPECT_EQ(ce, 9990);
    for (const char* line : {"8/8/8/4k3/8/8/4P3/4K3 w - - ce 12;", "8/8/8/4k3/8/8/4P3/4K3 w - - gr 1.0;",
                             "8/8/8/4k3/8/8/4P3/4K3 w - - ce 12; gr 0.7;", "8/8/8/4k3/8/8/4P3/4K3 w - - ce 1x2; gr 1.0;", ""})
        EXPECT_FALSE(parse_labelled_line(line, fen, ce, result)) << line;

    auto reader = new_tune_reader();
    const struct { const char* fen; bool quiet; } positions[] = {
        {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", true},
        {"rnbqkbnr/ppppp1pp/8/5p2/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -", false},  // exf5 wins a pawn
        {"r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq -", true},  // exd4 only trades
        {"rnbqkb1r/pppp1ppp/5n2/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq -", false},  // Nxh5 wins
        {"4k3/1P6/8/8/8/8/6p1/4K3 w - -", false},       // a pawn can promote
        {"4k3/8/8/8/8/8/4q3/4K2R w K -", false},        // in check
        {"4k3/8/8/8/8/8/4P3/4K3 w - -", false},         // the king-and-pawn table answers
        {"4k3/8/8/8/8/8/4P3/2B1K3 w - -", true},
    };
    for (auto [text, quiet] : positions) {
        ASSERT_EQ(set_fen(reader->tb.pos, text), 0) << text;
        EXPECT_EQ(is_quiet_position(reader->tb.pos), quiet) << text;
    }
}

// Positions of real games, written as the generator writes them (with a line
// that breaks off at the end, as in a file still being written), come back in
// order with their targets and results for white; hold-out takes whole blocks.
TEST_F(Tuning, LabelledFileRoundTrip) {
    TuneData games;
    ASSERT_EQ(read_tune_files(shared_path(GAMES).c_str(), tables_only(0), games), 1);
    const std::vector<Position>& positions = games.train.positions;
    ASSERT_GT(positions.size(), 100u);
    const std::string path = temp_file("tune_round_trip.epd");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    struct Line { uint64_t key; int ce; float result; long number; };
    std::vector<Line> written;
    long number = 0;
    for (size_t i = 0; i < 3 * positions.size(); i++) {  // three times over: several hold-out blocks
        const Position& pos = positions[i % positions.size()];
        char fen[128];
        write_fen(pos, fen, 0);
        const Line line{pos.key, int(i * 37 % 801) - 400, float(i % 3) * 0.5f, number++};
        fprintf(file, "%s ce %d; gr %0.1f;\n", fen, line.ce, line.result);
        if (i % 50 == 7) fprintf(file, "%s ce %d;\n", fen, line.ce), number++;  // unlabelled: skipped
        written.push_back(line);
    }
    fprintf(file, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - ce 2");
    fclose(file);

    TuneData back, split;
    TuneSource source = tables_only(0);
    source.result_weight = 0.25;
    ASSERT_EQ(read_tune_files(path.c_str(), source, back), 1);
    EXPECT_EQ(back.lines, long(written.size()));
    ASSERT_EQ(back.train.samples.size(), written.size());
    for (size_t i = 0; i < written.size(); i++) {
        const Position& pos = back.train.positions[i];
        ASSERT_EQ(pos.key, written[i].key) << i;
        const float own = 0.25f * written[i].result + 0.75f * win_probability(float(written[i].ce));
        EXPECT_NEAR(back.train.samples[i].target, pos.side == WHITE ? own : 1 - own, 1e-6) << i;
        EXPECT_EQ(back.train.samples[i].result, pos.side == WHITE ? written[i].result : 1 - written[i].result) << i;
    }
    ASSERT_EQ(read_tune_files(path.c_str(), tables_only(2), split), 1);
    size_t train = 0, valid = 0;
    for (const Line& line : written) {
        const bool held = line.number / TUNE_BLOCK_LINES % 2 == 1;
        const TuneSet& set = held ? split.valid : split.train;
        size_t& at = held ? valid : train;
        ASSERT_LT(at, set.positions.size());
        EXPECT_EQ(set.positions[at++].key, line.key);
    }
    EXPECT_GT(valid, 0u);
    remove(path.c_str());
}

// An unfinished game ("*") has no result to fit and is left out.
TEST_F(Tuning, GamesWithoutResultAreSkipped) {
    const std::string path = temp_file("tune_unfinished.pgn");
    const char* moves = "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O "
                        "9. h3 Nb8 10. d4 Nbd7 11. c4 c6 12. Nc3 Qc7";
    FILE* file = fopen(path.c_str(), "w");
    fprintf(file, "[Event \"a\"]\n[Result \"*\"]\n\n%s *\n\n[Event \"b\"]\n[Result \"1-0\"]\n\n%s 1-0\n\n", moves, moves);
    fclose(file);
    TuneData data;
    read_tune_files(path.c_str(), tables_only(0), data);
    EXPECT_EQ(data.games, 1);
    ASSERT_FALSE(data.train.samples.empty());
    for (const TuneSample& s : data.train.samples) EXPECT_EQ(s.result, 1.0f);
    remove(path.c_str());
}

// The tuner fits the model, the search uses the evaluation: with random tables
// they agree up to the truncation of single terms, for either side to move
// and wherever the kings stand.
TEST_F(Tuning, ModelReproducesTheEvaluation) {
    std::mt19937 rng(7);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) {
        EvalParam& p = param_table[i];
        p.mg = float(int(rng() % 201) - 100), p.eg = float(int(rng() % 201) - 100);
        p.packed = make_score(int(p.mg), int(p.eg));
    }
    TuneData data;
    read_tune_files(shared_path(GAMES).c_str(), tables_only(0), data);
    auto es = std::make_unique<EvalState>();
    std::vector<double> mg, eg;
    for (int i = 0; i < param_count; i++) mg.push_back(param_table[i].mg), eg.push_back(param_table[i].eg);
    int queenside_kings = 0;
    for (size_t i = 0; i < data.train.samples.size(); i++) {
        const Position& pos = data.train.positions[i];
        queenside_kings += file_of(pos.kingSq[WHITE]) <= 3 || file_of(pos.kingSq[BLACK]) <= 3;
        es->eval_ply = 0;
        const int score = hce_evaluate(*es, pos);
        const double model = tune_model_eval(data.train, data.train.samples[i], mg.data(), eg.data());
        ASSERT_LT(std::fabs(model - (pos.side == WHITE ? score : -score)), 10.0) << i;
    }
    EXPECT_GT(queenside_kings, 20);
}

TEST_F(Tuning, SwitchValuesAndARunEndToEnd) {
    char a0[] = "-tune", a1[] = "games.pgn", a2[] = "300", a3[] = "all", a4[] = "-quiet";
    char* argv[] = {a0, a1, a2, a3, a4};
    TuneRequest r, plain;
    EXPECT_EQ(read_tune_args(5, argv, 1, r), 3);
    EXPECT_STREQ(r.path, "games.pgn");
    EXPECT_EQ(r.iterations * 10 + r.all_params, 3001);
    char* only_path[] = {a0, a1, a4};
    EXPECT_EQ(read_tune_args(3, only_path, 1, plain), 1);
    EXPECT_EQ(plain.iterations, 500);
    EXPECT_EQ(plain.all_params + plain.from_zero, 0);
    EXPECT_EQ(plain.threads, 1);
    EXPECT_EQ(read_tune_args(1, argv, 1, plain), -1);
    // Settings in any order after the count; a value out of range is limited.
    char b1[] = "data", b2[] = "zero", b3[] = "blend=1.5", b4[] = "threads=2", b5[] = "reg=1e-9", b6[] = "next";
    char* settings[] = {a0, b1, b2, b3, b4, b5, b6};
    TuneRequest s;
    EXPECT_EQ(read_tune_args(7, settings, 1, s), 5);
    EXPECT_EQ(s.from_zero, 1);
    EXPECT_EQ(s.result_weight, 1.0);
    EXPECT_EQ(s.threads, 2);
    EXPECT_DOUBLE_EQ(s.regularisation, 1e-9);

    // Six games, the tables only: the error falls, the rook's value stays, the text reads back.
    const Score rook = eval_handles.mtl_rook->packed;
    TuneRequest request;
    snprintf(request.path, sizeof request.path, "%s", shared_path(GAMES).c_str());
    request.iterations = 60;
    int code;
    const std::string out = captured(code, request);
    ASSERT_EQ(code, 0) << out;
    EXPECT_NE(out.find("from 6 games"), std::string::npos) << out;
    const size_t before = out.find("error before= "), after = out.find("error after= ");
    ASSERT_TRUE(before != std::string::npos && after != std::string::npos) << out;
    EXPECT_LT(atof(out.c_str() + after + 13), atof(out.c_str() + before + 14));
    EXPECT_EQ(eval_handles.mtl_rook->packed, rook);
    const std::string written = out.substr(out.find("start\n"));
    EXPECT_EQ(written, param_text());
    testing::internal::CaptureStdout();
    load_param_text(written.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    TuneRequest missing;
    snprintf(missing.path, sizeof missing.path, "/nonexistent.pgn");
    captured(code, missing);
    EXPECT_EQ(code, 1);
}
