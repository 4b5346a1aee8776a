// The Texel tuner: labelled self-play lines written and read back, the quiet
// filter, games without a result, the model against the evaluation, its
// switches, and a run end to end that lowers the error and writes a parameter
// text that loads back cleanly.

#include <cmath>
#include <random>

#include "eval/params.h"
#include "search/rating.h"
#include "test_support.h"
#include "tools/tune_data.h"
#include "tools/tuner.h"

namespace {

const char* const GAMES = "data/pgn/edge/kasparov-deep-blue-1997.pgn";  // six games

TuneSource tables_only(int valid_every) {
    TuneSource source;
    source.valid_every = valid_every;
    source.fitted.assign(size_t(param_count), false);
    for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) source.fitted[size_t(i)] = true;
    return source;
}

struct Tuning : testing::Test {
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
    // Lines as the generator writes them come back in the file round trip below; here the other orders and the refused ones.
    ASSERT_TRUE(parse_labelled_line("8/8/8/4k3/8/8/4P3/4K3 b - - gr 0.0; ce 9990;", fen, ce, result));
    EXPECT_EQ(fen + " " + std::to_string(ce), "8/8/8/4k3/8/8/4P3/4K3 b - - 9990");
    for (const char* line : {"8/8/8/4k3/8/8/4P3/4K3 w - - ce 12;", "8/8/8/4k3/8/8/4P3/4K3 w - - gr 1.0;",
                             "8/8/8/4k3/8/8/4P3/4K3 w - - ce 12; gr 0.7;", "8/8/8/4k3/8/8/4P3/4K3 w - - ce 1x2; gr 1.0;", ""})
        EXPECT_FALSE(parse_labelled_line(line, fen, ce, result)) << line;
    auto reader = new_tune_reader();
    for (auto [text, quiet] : {std::pair{"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", true},
                               {"rnbqkbnr/ppppp1pp/8/5p2/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -", false},   // exf5 wins a pawn
                               {"r1bqkbnr/pppp1ppp/2n5/4p3/3PP3/5N2/PPP2PPP/RNBQKB1R b KQkq -", true},  // exd4 only trades
                               {"rnbqkb1r/pppp1ppp/5n2/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq -", false},  // Nxh5 wins
                               {"4k3/1P6/8/8/8/8/6p1/4K3 w - -", false},  // a pawn can promote
                               {"4k3/8/8/8/8/8/4q3/4K2R w K -", false},   // in check
                               {"4k3/8/8/8/8/8/4P3/4K3 w - -", false},    // the king-and-pawn table answers
                               {"4k3/8/8/8/8/8/4P3/2B1K3 w - -", true}}) {
        ASSERT_EQ(set_fen(reader->tb.pos, text), 0) << text;
        EXPECT_EQ(is_quiet_position(reader->tb.pos), quiet) << text;
    }
}

// Positions of real games, written as the generator writes them (with a line
// that breaks off at the end, as in a file still being written), come back in
// order with their targets and results for white; hold-out takes whole
// blocks. An unfinished game ("*") has no result to fit and is left out.
TEST_F(Tuning, LabelledFileRoundTripAndGamesWithoutResult) {
    TuneData games;
    ASSERT_EQ(read_tune_files(shared_path(GAMES).c_str(), tables_only(0), games), 1);
    const std::vector<Position>& positions = games.train.positions;
    ASSERT_GT(positions.size(), 100u);
    const std::string dir = make_scratch_dir("tune"), path = dir + "/lines.epd";
    struct Line { uint64_t key; int ce; float result; long number; };
    std::vector<Line> written;
    std::string text;
    for (size_t i = 0, number = 0; i < 3 * positions.size(); i++) {  // three times over: several hold-out blocks
        char fen[128], line[200];
        write_fen(positions[i % positions.size()], fen, 0);
        written.push_back({positions[i % positions.size()].key, int(i * 37 % 801) - 400, float(i % 3) * 0.5f, long(number++)});
        snprintf(line, sizeof line, "%s ce %d; gr %0.1f;\n", fen, written.back().ce, written.back().result);
        text += line;
        if (i % 50 == 7) text += std::string(fen) + " ce 5;\n", number++;  // unlabelled: skipped
    }
    write_file(path, text + "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - ce 2");
    TuneData back, split;
    TuneSource source = tables_only(0);
    source.result_weight = 0.25;
    ASSERT_EQ(read_tune_files(path.c_str(), source, back), 1);
    EXPECT_EQ(back.lines, long(written.size()));
    ASSERT_EQ(back.train.samples.size(), written.size());
    for (size_t i = 0; i < written.size(); i++) {
        const bool white = back.train.positions[i].side == WHITE;
        const float own = 0.25f * written[i].result + 0.75f * win_probability(float(written[i].ce));
        ASSERT_EQ(back.train.positions[i].key, written[i].key) << i;
        EXPECT_NEAR(back.train.samples[i].target, white ? own : 1 - own, 1e-6) << i;
        EXPECT_EQ(back.train.samples[i].result, white ? written[i].result : 1 - written[i].result) << i;
    }
    ASSERT_EQ(read_tune_files(path.c_str(), tables_only(2), split), 1);
    size_t at[2] = {0, 0};
    for (const Line& line : written) {
        const bool held = line.number / TUNE_BLOCK_LINES % 2 == 1;
        const TuneSet& set = held ? split.valid : split.train;
        ASSERT_LT(at[held], set.positions.size());
        EXPECT_EQ(set.positions[at[held]++].key, line.key);
    }
    EXPECT_GT(at[1], 0u);
    const char* moves = "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O "
                        "9. h3 Nb8 10. d4 Nbd7 11. c4 c6 12. Nc3 Qc7";
    write_file(dir + "/unfinished.pgn", std::string("[Event \"a\"]\n[Result \"*\"]\n\n") + moves + " *\n\n[Event \"b\"]\n[Result \"1-0\"]\n\n" + moves + " 1-0\n\n");
    TuneData data;
    read_tune_files((dir + "/unfinished.pgn").c_str(), tables_only(0), data);
    EXPECT_EQ(data.games, 1);
    ASSERT_FALSE(data.train.samples.empty());
    for (const TuneSample& s : data.train.samples) EXPECT_EQ(s.result, 1.0f);
}

// The tuner fits the model, the search uses the evaluation: with random tables
// they agree up to the truncation of single terms, for either side to move
// and wherever the kings stand.
TEST_F(Tuning, ModelReproducesTheEvaluation) {
    std::mt19937 rng(7);
    std::vector<double> mg, eg;
    for (int i = 0; i < param_count; i++) {
        EvalParam& p = param_table[i];
        if (i >= pst_start && i < pst_start + PST_COUNT * 64) {
            p.mg = float(int(rng() % 201) - 100), p.eg = float(int(rng() % 201) - 100);
            p.packed = make_score(int(p.mg), int(p.eg));
        }
        mg.push_back(p.mg), eg.push_back(p.eg);
    }
    TuneData data;
    read_tune_files(shared_path(GAMES).c_str(), tables_only(0), data);
    auto es = std::make_unique<EvalState>();
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
    // Settings in any order after the count; a value out of range is limited.
    std::vector<std::string> words = {"-tune", "data", "300", "zero", "blend=1.5", "threads=2", "reg=1e-9", "all", "next"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    TuneRequest s;
    EXPECT_EQ(read_tune_args(int(argv.size()), argv.data(), 1, s), 7);
    EXPECT_EQ(std::tuple(std::string(s.path), s.iterations, s.from_zero, s.result_weight, s.threads, s.regularisation, s.all_params),
              std::tuple(std::string("data"), 300, 1, 1.0, 2, 1e-9, 1));
    EXPECT_EQ(read_tune_args(1, argv.data(), 1, s), -1);
    // Six games, the tables only: the error falls, the rook's value stays, the text reads back.
    const Score rook = eval_handles.mtl_rook->packed;
    TuneRequest request;
    snprintf(request.path, sizeof request.path, "%s", shared_path(GAMES).c_str());
    request.iterations = 60;
    testing::internal::CaptureStdout();
    ASSERT_EQ(run_tuner(request), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    const size_t before = out.find("error before= "), after = out.find("error after= ");
    ASSERT_TRUE(contains(out, "from 6 games") && before != std::string::npos && after != std::string::npos) << out;
    EXPECT_LT(atof(out.c_str() + after + 13), atof(out.c_str() + before + 14));
    EXPECT_EQ(eval_handles.mtl_rook->packed, rook);
    const std::string written = out.substr(out.find("start\n"));
    EXPECT_EQ(written, param_text());
    testing::internal::CaptureStdout();
    load_param_text(written.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    snprintf(request.path, sizeof request.path, "/nonexistent.pgn");
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_tuner(request), 1);
    testing::internal::GetCapturedStdout();
}
