#include "tools/tuner.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/see.h"
#include "board/thread_board.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "frontend/io.h"
#include "tools/pgn.h"

namespace {

// One training position: its result for white and the linear form of its evaluation.
struct Sample {
    float result;    // 1 white won, 0.5 draw, 0 black won
    float phase;
    float scale;     // the ending's scale factor
    uint32_t first;  // first coefficient
    uint16_t count;
};

// Multiplier of one weight in a sample, white's minus black's.
struct Coefficient {
    uint16_t index;
    float value;
};

struct TuneData {
    std::vector<Sample> samples;
    std::vector<Coefficient> coefficients;
    std::vector<Position> positions;  // for measuring the real evaluation's error
    int games = 0;
};

// Positions whose evaluation can be trusted without a search: the side to move is
// not in check, has no capture that wins material, and the game move was quiet.
bool is_quiet(ThreadBoard& tb, Move played) {
    Position& pos = tb.pos;
    int side = pos.side;
    if (is_attacked(pos, pos.kingSq[side], side ^ 1)) return false;
    int from = move_from(played), to = move_to(played);
    bool pawn = piece_type(pos.board[from]) == PAWN;
    if (pos.board[to] || (pawn && (to == pos.epSquare || move_flags(played)))) return false;
    MoveEntry* list = tb.lists[0];
    MoveEntry* end = gen_captures(pos, side, list, NO_SQUARE);
    end = gen_promotions(pos, side, 0, end);
    for (MoveEntry* e = list; e < end; e++)
        if (see_move(pos, side, move_from(e->move), move_to(e->move)) > 0) return false;
    return true;
}

void add_sample(TuneData& data, EvalState& es, HceTrace& trace, const Position& pos, float result) {
    hce_trace(es, pos, trace);
    Sample s;
    s.result = result;
    s.phase = trace.phase;
    s.scale = trace.scale;
    s.first = uint32_t(data.coefficients.size());
    for (int i = 0; i < param_count; i++) {
        float c = trace.coef[i][WHITE] - trace.coef[i][BLACK];
        if (c != 0) data.coefficients.push_back({uint16_t(i), c});
    }
    s.count = uint16_t(data.coefficients.size() - s.first);
    data.samples.push_back(s);
    data.positions.push_back(pos);
}

void read_games(const char* path, TuneData& data, ThreadBoard& tb, EvalState& es) {
    PgnReader reader;
    if (pgn_open(reader, path) != 0) return;
    auto game = std::make_unique<PgnGame>();
    auto trace = std::make_unique<HceTrace>();
    std::string text;
    while (pgn_next_game(reader, text)) {
        pgn_parse_game(*game, text.data());
        if (game->move_count == 0) continue;
        bool from_fen = strlen(game->fen) >= 11;
        if (set_fen(tb.pos, from_fen ? game->fen : START_FEN) != 0) continue;
        data.games++;
        int skip = from_fen ? 4 : 16;
        float result = game->result > 0 ? 1.0f : game->result < 0 ? 0.0f : 0.5f;
        for (int i = 0; i < game->move_count; i++) {
            char move_text[16];
            snprintf(move_text, sizeof move_text, "%s", game->moves[i]);
            Move m;
            if (!parse_move(tb, move_text, m)) break;
            if (i >= skip && is_quiet(tb, m)) add_sample(data, es, *trace, tb.pos, result);
            make_game_move(tb, m);
        }
    }
    pgn_close(reader);
}

// The file itself, or the .pgn files of a directory in name order.
std::vector<std::string> pgn_files(const char* path) {
    std::vector<std::string> files;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(path, ec))
            if (entry.is_regular_file() && entry.path().extension() == ".pgn") files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    return files;
}

double sigmoid(double k, double e) { return 1.0 / (1.0 + std::exp(-k * e)); }

// Mean squared error of the engine's own evaluation over all samples.
double real_error(const TuneData& data, EvalState& es, double k) {
    double sum = 0;
    for (size_t i = 0; i < data.samples.size(); i++) {
        const Position& pos = data.positions[i];
        es.eval_ply = 0;
        int score = hce_evaluate(es, pos);
        double white = pos.side == WHITE ? score : -score;
        double d = data.samples[i].result - sigmoid(k, white);
        sum += d * d;
    }
    return sum / double(data.samples.size());
}

// The scale of the logistic curve that fits the current evaluation best.
double fit_k(const TuneData& data, EvalState& es) {
    std::vector<float> white(data.samples.size());
    for (size_t i = 0; i < white.size(); i++) {
        const Position& pos = data.positions[i];
        es.eval_ply = 0;
        int score = hce_evaluate(es, pos);
        white[i] = float(pos.side == WHITE ? score : -score);
    }
    auto error = [&](double k) {
        double sum = 0;
        for (size_t i = 0; i < white.size(); i++) {
            double d = data.samples[i].result - sigmoid(k, white[i]);
            sum += d * d;
        }
        return sum;
    };
    double lo = 0.0005, hi = 0.02;
    const double ratio = 0.6180339887;
    for (int i = 0; i < 40; i++) {
        double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
        if (error(a) < error(b))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

// The linear model of the evaluation (no truncation) over the weights in mg/eg.
double model_eval(const TuneData& data, const Sample& s, const std::vector<double>& mg,
                  const std::vector<double>& eg) {
    double m = 0, e = 0;
    const Coefficient* c = &data.coefficients[s.first];
    for (int j = 0; j < s.count; j++) {
        m += c[j].value * mg[c[j].index];
        e += c[j].value * eg[c[j].index];
    }
    return s.scale * (s.phase * m + (1 - s.phase) * e);
}

// How often each weight occurs in the samples (sum of the multipliers' sizes).
std::vector<double> occurrences(const TuneData& data) {
    std::vector<double> seen(size_t(param_count), 0);
    for (const Coefficient& c : data.coefficients) seen[c.index] += std::fabs(c.value);
    return seen;
}

// A constant added to a whole piece-square table is a change of material value (or,
// for the king, nothing at all): keep each table's occurrence-weighted mean at zero.
void centre_tables(std::vector<double>& values, const std::vector<double>& seen) {
    for (int t = 0; t < PST_COUNT; t++) {
        int first = pst_start + 64 * t;
        double sum = 0, weight = 0;
        for (int i = first; i < first + 64; i++) sum += seen[i] * values[i], weight += seen[i];
        if (weight == 0) continue;
        for (int i = first; i < first + 64; i++)
            if (seen[i] > 0) values[i] -= sum / weight;
    }
}

// Full-batch gradient descent with Adam on the selected weights. A light pull
// towards zero keeps rarely seen table squares from running away.
void optimise(const TuneData& data, double k, int iterations, const std::vector<bool>& tuned) {
    int n = param_count;
    std::vector<double> values[2] = {std::vector<double>(n), std::vector<double>(n)};  // mg, eg
    std::vector<double> grad[2] = {std::vector<double>(n), std::vector<double>(n)};
    std::vector<double> m1(2 * n, 0), m2(2 * n, 0);
    for (int i = 0; i < n; i++) values[0][i] = param_table[i].mg, values[1][i] = param_table[i].eg;
    std::vector<double> seen = occurrences(data);
    auto is_table = [](int i) { return i >= pst_start && i < pst_start + PST_COUNT * 64; };
    const double beta1 = 0.9, beta2 = 0.999, rate = 1.0, pull = 1e-3;
    double count = double(data.samples.size());
    for (int it = 1; it <= iterations; it++) {
        for (auto& g : grad) std::fill(g.begin(), g.end(), 0);
        double error = 0;
        for (const Sample& s : data.samples) {
            double p = sigmoid(k, model_eval(data, s, values[0], values[1]));
            double d = s.result - p;
            error += d * d;
            double g = -2 * d * p * (1 - p) * k * s.scale / count;
            const Coefficient* c = &data.coefficients[s.first];
            for (int j = 0; j < s.count; j++) {
                grad[0][c[j].index] += g * s.phase * c[j].value;
                grad[1][c[j].index] += g * (1 - s.phase) * c[j].value;
            }
        }
        for (int i = 0; i < n; i++) {
            if (!tuned[i]) continue;
            for (int h = 0; h < 2; h++) {
                int a = 2 * i + h;
                double g = grad[h][i] + (is_table(i) ? pull * values[h][i] / count : 0);
                m1[a] = beta1 * m1[a] + (1 - beta1) * g;
                m2[a] = beta2 * m2[a] + (1 - beta2) * g * g;
                double m_hat = m1[a] / (1 - std::pow(beta1, it)), v_hat = m2[a] / (1 - std::pow(beta2, it));
                values[h][i] -= rate * m_hat / (std::sqrt(v_hat) + 1e-12);
            }
        }
        for (auto& v : values) centre_tables(v, seen);
        if (it % 100 == 0 || it == iterations) print_fmt("iteration %d  model error %.6f", it, error / count);
    }
    for (int i = 0; i < n; i++) {
        if (!tuned[i]) continue;
        EvalParam& p = param_table[i];
        p.mg = float(std::lround(values[0][i]));
        p.eg = float(std::lround(values[1][i]));
        p.packed = make_score(int(p.mg), int(p.eg));
    }
}

}  // namespace

int run_tuner(const char* path, int iterations, int all_params) {
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    auto es = std::make_unique<EvalState>();
    memset(es.get(), 0, sizeof(EvalState));
    TuneData data;
    for (const std::string& file : pgn_files(path)) read_games(file.c_str(), data, *tb, *es);
    print_fmt("tuning on %zu quiet positions from %d games, %zu coefficients", data.samples.size(), data.games,
              data.coefficients.size());
    if (data.samples.empty()) return 1;

    std::vector<bool> tuned(size_t(param_count), false);
    for (int i = 0; i < param_count; i++) {
        bool table = i >= pst_start && strstr(param_table[i].name, "PST_") != nullptr;
        tuned[size_t(i)] = all_params ? strcmp(param_table[i].name, "ttune") != 0 : table;
    }
    double k = fit_k(data, *es);
    print_fmt("logistic scale k= %.6f", k);
    print_fmt("error before= %.6f", real_error(data, *es, k));
    optimise(data, k, iterations, tuned);
    print_fmt("error after= %.6f", real_error(data, *es, k));
    print_text(param_text().c_str());
    return 0;
}

int read_tune_args(int argc, char** argv, int first, TuneRequest& request) {
    if (first >= argc) return -1;
    snprintf(request.path, sizeof request.path, "%s", argv[first]);
    int last = first;
    if (last + 1 < argc && isdigit(uint8_t(argv[last + 1][0]))) request.iterations = atoi(argv[++last]);
    if (last + 1 < argc && !strcmp(argv[last + 1], "all")) request.all_params = 1, last++;
    return last;
}
