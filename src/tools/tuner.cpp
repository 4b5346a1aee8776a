#include "tools/tuner.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "eval/evaluate.h"
#include "eval/params.h"
#include "core/io.h"
#include "tools/tune_data.h"

namespace {

double sigmoid(double k, double e) { return 1.0 / (1.0 + std::exp(-k * e)); }

bool is_table(int i) { return i >= pst_start && i < pst_start + PST_COUNT * 64; }

// A constant added to a whole table is a change of material value (or, for the
// king, nothing at all), and material is not ours to change here. The connected
// and defended pawn tables are bonuses of their own: a constant there is the bonus.
bool keeps_zero_mean(int table) { return table != PST_CP && table != PST_DP; }

// Evaluations for white of every position of a set, by the engine itself or by the model.
std::vector<float> real_evals(const TuneSet& set, EvalState& es) {
    std::vector<float> out(set.positions.size());
    for (size_t i = 0; i < out.size(); i++) {
        const Position& pos = set.positions[i];
        es.eval_ply = 0;
        int score = hce_evaluate(es, pos);
        out[i] = float(pos.side == WHITE ? score : -score);
    }
    return out;
}

std::vector<float> model_evals(const TuneSet& set, const std::vector<double>* values) {
    std::vector<float> out(set.samples.size());
    for (size_t i = 0; i < out.size(); i++)
        out[i] = float(tune_model_eval(set, set.samples[i], values[0].data(), values[1].data()));
    return out;
}

// Against the fitted targets, or (results) against the game results alone.
double mean_error(const TuneSet& set, const std::vector<float>& evals, double k, bool results = false) {
    double sum = 0;
    for (size_t i = 0; i < evals.size(); i++) {
        const TuneSample& s = set.samples[i];
        double d = (results ? s.result : s.target) - sigmoid(k, evals[i]);
        sum += d * d;
    }
    return evals.empty() ? 0 : sum / double(evals.size());
}

// The scale of the logistic curve that fits these evaluations best (golden-section search).
double fit_k(const TuneSet& set, const std::vector<float>& evals) {
    double lo = 0.0005, hi = 0.02;
    const double ratio = 0.6180339887;
    for (int i = 0; i < 40; i++) {
        double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
        if (mean_error(set, evals, a) < mean_error(set, evals, b))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

// Gradient of the summed squared error over samples [begin, end) into grad (mg, eg).
double add_gradient(const TuneSet& set, size_t begin, size_t end, double k, const std::vector<double>* values,
                    std::vector<double>* grad) {
    double error = 0;
    for (size_t i = begin; i < end; i++) {
        const TuneSample& s = set.samples[i];
        double eval = tune_model_eval(set, s, values[0].data(), values[1].data());
        double p = sigmoid(k, eval);
        double d = s.target - p;
        error += d * d;
        double scale = s.scale[eval >= 0 ? 0 : 1];
        double g = -2 * d * p * (1 - p) * k * scale;
        double gm = g * s.phase, ge = g * (1 - s.phase);
        const TuneCoef* c = &set.coefs[s.first];
        for (int j = 0; j < s.count; j++) {
            grad[0][c[j].index] += gm * c[j].value;
            grad[1][c[j].index] += ge * c[j].value;
        }
    }
    return error;
}

struct Optimiser {
    const TuneData& data;
    const TuneRequest& request;
    std::vector<bool> fitted;
    std::vector<double> values[2];  // mg, eg by parameter
    double k = 0;

    // One full pass: the mean gradient (with the pull of the tables towards zero)
    // and the mean error of the fitting positions.
    double gradient(std::vector<double>* grad) const {
        int n = param_count, threads = std::max(1, request.threads);
        const TuneSet& set = data.train;
        std::vector<std::vector<double>> parts(size_t(2 * threads), std::vector<double>(size_t(n), 0));
        std::vector<double> errors(size_t(threads), 0);
        std::vector<std::thread> pool;
        size_t size = set.samples.size();
        for (int t = 0; t < threads; t++) {
            size_t begin = size * size_t(t) / size_t(threads), end = size * size_t(t + 1) / size_t(threads);
            auto work = [&, t, begin, end] {
                errors[size_t(t)] = add_gradient(set, begin, end, k, values, &parts[size_t(2 * t)]);
            };
            if (t + 1 < threads)
                pool.emplace_back(work);
            else
                work();
        }
        for (std::thread& th : pool) th.join();
        double count = double(size), error = 0;
        for (int h = 0; h < 2; h++) {
            std::fill(grad[h].begin(), grad[h].end(), 0);
            for (int t = 0; t < threads; t++)
                for (int i = 0; i < n; i++) grad[h][size_t(i)] += parts[size_t(2 * t + h)][size_t(i)];
            for (int i = 0; i < n; i++) {
                grad[h][size_t(i)] /= count;
                if (is_table(i)) grad[h][size_t(i)] += 2 * request.regularisation * values[h][size_t(i)];
            }
        }
        for (double e : errors) error += e;
        return error / count;
    }

    void centre_tables(std::vector<double>& v) const {
        for (int t = 0; t < PST_COUNT; t++) {
            if (!keeps_zero_mean(t)) continue;
            int first = pst_start + 64 * t;
            double sum = 0, weight = 0;
            for (int i = first; i < first + 64; i++) sum += data.seen[size_t(i)] * v[size_t(i)], weight += data.seen[size_t(i)];
            if (weight == 0) continue;
            for (int i = first; i < first + 64; i++)
                if (data.seen[size_t(i)] > 0) v[size_t(i)] -= sum / weight;
        }
    }

    void refit_k() { k = fit_k(data.train, model_evals(data.train, values)); }

    // Full-batch gradient descent with Adam; the step shrinks linearly to a tenth
    // over the run, and k is refitted to the model every 50 iterations, since the
    // tables alone cannot change the evaluation's overall scale.
    void run() {
        int n = param_count, iterations = request.iterations;
        std::vector<double> grad[2] = {std::vector<double>(size_t(n)), std::vector<double>(size_t(n))};
        std::vector<double> m1(size_t(2 * n), 0), m2(size_t(2 * n), 0);
        const double beta1 = 0.9, beta2 = 0.999;
        for (int it = 1; it <= iterations; it++) {
            double error = gradient(grad);
            double rate = 1.0 - 0.9 * double(it - 1) / std::max(1, iterations - 1);
            for (int i = 0; i < n; i++) {
                if (!fitted[size_t(i)]) continue;
                for (int h = 0; h < 2; h++) {
                    size_t a = size_t(2 * i + h);
                    double g = grad[h][size_t(i)];
                    m1[a] = beta1 * m1[a] + (1 - beta1) * g;
                    m2[a] = beta2 * m2[a] + (1 - beta2) * g * g;
                    double m_hat = m1[a] / (1 - std::pow(beta1, it)), v_hat = m2[a] / (1 - std::pow(beta2, it));
                    values[h][size_t(i)] -= rate * m_hat / (std::sqrt(v_hat) + 1e-12);
                }
            }
            for (auto& v : values) centre_tables(v);
            if (it % 50 == 0) refit_k();
            if (it % 100 == 0 || it == iterations) {
                double held = mean_error(data.valid, model_evals(data.valid, values), k);
                print_fmt("iteration %d  k= %.6f  model error %.6f  held out %.6f", it, k, error, held);
            }
        }
    }

    void store() const {
        for (int i = 0; i < param_count; i++) {
            if (!fitted[size_t(i)]) continue;
            EvalParam& p = param_table[i];
            p.mg = float(std::lround(values[0][size_t(i)]));
            p.eg = float(std::lround(values[1][size_t(i)]));
            p.packed = make_score(int(p.mg), int(p.eg));
        }
    }
};

// Mean squared error of the engine's own evaluation on both sets with the k
// that fits best, and on the held-out positions against the game results alone
// (with the k that fits those): what a blend of targets is finally judged by.
void report_errors(const char* when, const TuneData& data, EvalState& es, double& k) {
    std::vector<float> train = real_evals(data.train, es), valid = real_evals(data.valid, es);
    k = fit_k(data.train, train);
    double against_results = 1;
    for (double x = 0.0005; x < 0.02; x += 0.00005)
        against_results = std::min(against_results, mean_error(data.valid, valid, x, true));
    print_fmt("error %s= %.6f  held out %.6f  (k= %.6f)  held out against results %.6f", when,
              mean_error(data.train, train, k), mean_error(data.valid, valid, k), k, against_results);
}

}  // namespace

int run_tuner(const TuneRequest& request) {
    TuneSource source;
    source.result_weight = request.result_weight;
    source.fitted.assign(size_t(param_count), false);
    for (int i = 0; i < param_count; i++) {
        bool table = is_table(i) && strstr(param_table[i].name, "PST_") != nullptr;
        source.fitted[size_t(i)] = request.all_params ? strcmp(param_table[i].name, "ttune") != 0 : table;
    }
    if (request.from_zero)
        for (int i = pst_start; i < pst_start + PST_COUNT * 64; i++) {
            EvalParam& p = param_table[i];
            p.mg = p.eg = 0;
            p.packed = 0;
        }
    TuneData data;
    read_tune_files(request.path, source, data);
    print_fmt("tuning on %zu quiet positions (%zu held out) from %d games and %ld labelled lines",
              data.train.samples.size(), data.valid.samples.size(), data.games, data.lines);
    if (data.train.samples.empty()) return 1;
    print_fmt("blend %.2f result + %.2f score, regularisation %g, %zu multipliers", source.result_weight,
              1 - source.result_weight, request.regularisation, data.train.coefs.size());

    auto es = std::make_unique<EvalState>();
    memset(es.get(), 0, sizeof(EvalState));
    Optimiser opt{data, request, source.fitted, {}, 0};
    report_errors("before", data, *es, opt.k);
    for (auto& v : opt.values) v.assign(size_t(param_count), 0);
    for (int i = 0; i < param_count; i++) opt.values[0][size_t(i)] = param_table[i].mg, opt.values[1][size_t(i)] = param_table[i].eg;
    opt.run();
    opt.store();
    double k_after;
    report_errors("after", data, *es, k_after);
    print_text(param_text().c_str());
    return 0;
}

int read_tune_args(int argc, char** argv, int first, TuneRequest& request) {
    if (first >= argc) return -1;
    snprintf(request.path, sizeof request.path, "%s", argv[first]);
    int last = first;
    if (last + 1 < argc && isdigit(uint8_t(argv[last + 1][0]))) request.iterations = atoi(argv[++last]);
    while (last + 1 < argc) {
        const char* a = argv[last + 1];
        if (!strcmp(a, "all"))
            request.all_params = 1;
        else if (!strcmp(a, "zero"))
            request.from_zero = 1;
        else if (!strncmp(a, "blend=", 6))
            request.result_weight = std::clamp(atof(a + 6), 0.0, 1.0);
        else if (!strncmp(a, "reg=", 4))
            request.regularisation = std::max(0.0, atof(a + 4));
        else if (!strncmp(a, "threads=", 8))
            request.threads = std::clamp(atoi(a + 8), 1, 64);
        else
            break;
        last++;
    }
    return last;
}
