#include "tools/trainer/trainer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "eval/nn/infer.h"
#include "tools/modes.h"
#include "core/settings.h"
#include "search/rating.h"
#include "tools/progress.h"
#include "tools/tune_data.h"
#include "tools/trainer/worker_pool.h"

namespace {

// Gradients are summed into a fixed number of buffers, whatever the number of
// threads, and added up in a fixed order: results do not depend on the threads.
constexpr int SLICES = 4;
constexpr float BETA1 = 0.9f, BETA2 = 0.999f, EPSILON = 1e-8f;
constexpr float FINAL_RATE_SHARE = 0.05f;
constexpr uint32_t VALIDATION_SHARE = 50, VALIDATION_MAX = 200000;

struct Batch {
    std::vector<TrainSample> samples;
    uint32_t size = 0;
    bool ends_epoch = false;  // the pass over the records ended while this batch was filled
};

// The training records in a new shuffled order every epoch, decoded into batches.
struct BatchSource {
    const PackedPosition* records;
    uint32_t count;
    NetworkHeader header;
    float result_weight;
    std::vector<uint32_t> order;
    uint32_t cursor = 0;
    std::mt19937_64 rng;
    Position pos{};

    BatchSource(const PackedPosition* r, uint32_t n, const NetworkHeader& h, float w, uint32_t seed)
        : records(r), count(n), header(h), result_weight(w), order(n), rng(seed) {
        for (uint32_t i = 0; i < n; i++) order[i] = i;
        shuffle();
    }
    void shuffle() {
        for (uint32_t i = count; i > 1; i--) std::swap(order[i - 1], order[uint32_t(rng() % i)]);
    }
    // False when a whole pass finds no usable record.
    bool fill(Batch& b) {
        b.size = 0;
        b.ends_epoch = false;
        uint32_t rejected_in_a_row = 0;
        while (b.size < b.samples.size()) {
            if (cursor == count) {
                cursor = 0;
                b.ends_epoch = true;
                shuffle();
            }
            float target;
            if (usable_training_record(records, order[cursor++], pos, target, result_weight)) {
                make_sample(header, pos, target, b.samples[b.size++]);
                rejected_in_a_row = 0;
            } else if (++rejected_in_a_row > count) {
                return false;
            }
        }
        return true;
    }
};

// Slice s of n items: [first, last).
void slice_range(uint32_t n, int s, int slices, uint32_t& first, uint32_t& last) {
    first = uint32_t(uint64_t(n) * s / slices);
    last = uint32_t(uint64_t(n) * (s + 1) / slices);
}

struct Trainer {
    TrainNet& net;
    const TrainerConfig& config;
    int workers;
    WorkerPool pool;
    std::vector<std::vector<float>> grads;
    std::vector<float> m, v;
    std::vector<TrainScratch> scratch;
    uint64_t step = 0;

    Trainer(TrainNet& n, const TrainerConfig& c)
        : net(n), config(c), workers(std::clamp(c.threads, 1, SLICES)), pool(workers),
          grads(SLICES, std::vector<float>(n.params.size(), 0.0f)), m(n.params.size(), 0.0f),
          v(n.params.size(), 0.0f), scratch(SLICES, TrainScratch(n.H)) {}

    // Sum of squared errors of the batch; its gradient lands in the slices' buffers.
    void start_backward(const Batch& b, double* slice_loss) {
        pool.start([this, &b, slice_loss](int w) {
            for (int s = w; s < SLICES; s += workers) {
                uint32_t first, last;
                slice_range(b.size, s, SLICES, first, last);
                double loss = 0;
                for (uint32_t i = first; i < last; i++)
                    loss += train_net_backward(net, b.samples[i], scratch[s], grads[s].data());
                slice_loss[s] = loss;
            }
        });
    }

    void adam_step(uint32_t batch_size, float rate) {
        step++;
        const float c1 = 1.0f - float(std::pow(BETA1, double(step)));
        const float c2 = 1.0f - float(std::pow(BETA2, double(step)));
        const float scale = 1.0f / float(batch_size);
        const float decay = 1.0f - rate * config.weight_decay;
        pool.run([&](int w) {
            uint32_t first, last;
            slice_range(uint32_t(net.params.size()), w, workers, first, last);
            float* p = net.params.data();
            for (uint32_t j = first; j < last; j++) {
                float g = 0;
                for (std::vector<float>& slice : grads) {
                    g += slice[j];
                    slice[j] = 0;
                }
                g *= scale;
                m[j] = BETA1 * m[j] + (1 - BETA1) * g;
                v[j] = BETA2 * v[j] + (1 - BETA2) * g * g;
                // Stored weights cannot exceed 1.0 in magnitude.
                const float w = p[j] * decay;
                p[j] = std::clamp(w - rate * (m[j] / c1) / (std::sqrt(v[j] / c2) + EPSILON), -1.0f, 1.0f);
            }
        });
    }

    // Mean squared error of the float network on samples.
    double loss_of(const std::vector<TrainSample>& samples) {
        if (samples.empty()) return -1;
        double partial[SLICES] = {};
        pool.run([&](int w) {
            for (int s = w; s < SLICES; s += workers) {
                uint32_t first, last;
                slice_range(uint32_t(samples.size()), s, SLICES, first, last);
                for (uint32_t i = first; i < last; i++) {
                    const float p = train_net_probability(net, train_net_output(net, samples[i], scratch[s]));
                    partial[s] += double(p - samples[i].target) * (p - samples[i].target);
                }
            }
        });
        double sum = 0;
        for (double x : partial) sum += x;
        return sum / double(samples.size());
    }
};

// The same error through the engine: quantised weights installed as the
// network, scores from nn_evaluate. The decoder's random field is left as it was.
double engine_loss(const TrainNet& net, const PackedPosition* records, const std::vector<uint32_t>& indices,
                   float result_weight) {
    if (indices.empty() || train_net_install(net) != 0) return -1;
    const uint32_t saved = training_random();
    NNState st{};
    Position pos{};
    double sum = 0;
    for (uint32_t index : indices) {
        float target;
        decode_training_record(records, index, pos, target, result_weight);
        st.eval_ply = 0;
        const float p = win_probability(float(nn_evaluate(st, pos)));
        sum += double(p - target) * (p - target);
    }
    nn_state_free(st);
    training_random() = saved;
    return sum / double(indices.size());
}

std::string time_text(double seconds) {
    const long s = long(seconds);
    char text[32];
    snprintf(text, sizeof text, "%ldh%02ldm%02lds", s / 3600, s / 60 % 60, s % 60);
    return text;
}

}  // namespace

bool usable_training_record(const PackedPosition* records, uint32_t index, Position& pos, float& target,
                            float result_weight) {
    return decode_training_record(records, index, pos, target, result_weight) && is_quiet_position(pos);
}

int train_network(TrainNet& net, const PackedPosition* records, uint32_t count, const TrainerConfig& config,
                  TrainReport& report) {
    report = TrainReport{};
    training_random() = config.seed;
    const uint32_t held = config.hold_out ? std::min(count / VALIDATION_SHARE, VALIDATION_MAX) : 0;
    const uint32_t train_count = count - held;
    if (train_count == 0 || config.batch == 0) return -1;

    std::vector<TrainSample> validation;
    std::vector<uint32_t> validation_index;
    Position pos{};
    for (uint32_t i = train_count; i < count; i++) {
        float target;
        if (!usable_training_record(records, i, pos, target, config.result_weight)) continue;
        validation.emplace_back();
        make_sample(net.header, pos, target, validation.back());
        validation_index.push_back(i);
    }

    BatchSource source(records, train_count, net.header, config.result_weight, config.seed);
    Trainer trainer(net, config);
    Batch batches[2];
    for (Batch& b : batches) b.samples.resize(config.batch);
    if (!source.fill(batches[0])) return -1;
    // Where training starts: for a continued network, the figure to beat.
    if (config.report_seconds > 0 && !validation.empty())
        fprintf(stderr, "start: validation loss %.6f on %zu held-out positions\n", trainer.loss_of(validation),
                validation.size());

    ProgressTimer timer(config.report_seconds > 0 ? config.report_seconds : 1e30);
    double epoch_loss = 0, interval_loss = 0;
    uint64_t epoch_count = 0, interval_count = 0;
    const double total = double(config.positions);
    auto finish_epoch = [&](bool last) {
        if (epoch_count) report.last_loss = epoch_loss / double(epoch_count);
        epoch_loss = 0;
        epoch_count = 0;
        report.validation_loss = trainer.loss_of(validation);
        std::string saved = "";
        if (config.checkpoint_prefix && !last) {
            char name[256];
            snprintf(name, sizeof name, "%s-%03d.net", config.checkpoint_prefix, report.epochs);
            if (train_net_save(net, name) == 0) saved = name;
        }
        if (!saved.empty() || last)
            report.engine_loss = engine_loss(net, records, validation_index, config.result_weight);
        if (config.report_seconds > 0)
            fprintf(stderr, "%s %d: train loss %.6f, validation loss %.6f, engine %.6f%s%s\n",
                    last ? "end, epochs completed" : "epoch", report.epochs, report.last_loss, report.validation_loss, report.engine_loss, saved.empty() ? "" : ", saved ",
                    saved.c_str());
    };

    for (int current = 0;; current ^= 1) {
        Batch& batch = batches[current];
        double slice_loss[SLICES] = {};
        trainer.start_backward(batch, slice_loss);
        const bool more = report.positions + batch.size < config.positions;
        const bool have_next = more && source.fill(batches[current ^ 1]);
        trainer.pool.wait();

        const double progress = std::min(1.0, double(report.positions) / total);
        const float rate = config.learning_rate *
                           (FINAL_RATE_SHARE + (1 - FINAL_RATE_SHARE) * 0.5f * float(1 + std::cos(std::numbers::pi * progress)));
        trainer.adam_step(batch.size, rate);

        double loss = 0;
        for (double x : slice_loss) loss += x;
        if (trainer.step == 1) report.first_loss = loss / batch.size;
        report.positions += batch.size;
        epoch_loss += loss;
        epoch_count += batch.size;
        interval_loss += loss;
        interval_count += batch.size;
        if (batch.ends_epoch) {
            report.epochs++;
            finish_epoch(false);
        }
        double elapsed;
        if (timer.due(elapsed)) {
            const double speed = double(report.positions) / elapsed;
            fprintf(stderr, "%.2fM/%.2fM positions, epoch %d, %.0f positions/s, train loss %.6f, validation loss %.6f, "
                            "rate %.2e, %s left\n",
                    double(report.positions) / 1e6, total / 1e6, report.epochs + 1, speed,
                    interval_loss / double(interval_count), report.validation_loss, double(rate),
                    time_text((total - double(report.positions)) / speed).c_str());
            interval_loss = 0;
            interval_count = 0;
        }
        if (!have_next) break;
    }
    finish_epoch(true);
    report.seconds = timer.elapsed();
    return 0;
}

int run_trainer(int mode, int flag, int argc, char** argv) {
    int hidden = 0, buckets = 0;  // 0: not given
    float weight_decay = 0, result_weight = DEFAULT_RESULT_WEIGHT;
    uint32_t seed = 1;
    int threads = int(std::thread::hardware_concurrency());
    const bool hold_out = flag != 1;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const bool has_value = i + 1 < argc;
        if (!strcmp(a, "-hidden") && has_value) hidden = int(read_int(argv[i + 1]));
        else if (!strcmp(a, "-buckets") && has_value) buckets = int(read_int(argv[i + 1]));
        else if (!strcmp(a, "-wd") && has_value) weight_decay = float(read_real(argv[i + 1]));
        else if (!strcmp(a, "-blend") && has_value) result_weight = float(read_real(argv[i + 1]));
        else if (!strcmp(a, "-seed") && has_value) seed = uint32_t(read_int(argv[i + 1]));
        else if (!strcmp(a, "-threads")) threads = options.threads;
    }
    if (!(result_weight >= 0 && result_weight <= 1)) {
        printf("-blend takes the game result's share of the target, from 0 to 1\n");
        return 1;
    }

    TrainNet net;
    const bool fresh = mode == MODE_TRAIN;
    if (fresh ? train_net_create(net, trainer_header(hidden ? hidden : 256, buckets ? buckets : 2), seed)
              : train_net_from_network(net, network)) {
        printf(fresh ? "can't train a network of %d neurons and %d input buckets (16, 32, ... and 1 or 2)\n"
                     : "the loaded network has layers the trainer does not train\n",
               hidden ? hidden : 256, buckets ? buckets : 2);
        return 1;
    }
    // -train2 with a larger shape: the loaded network, widened, is where training starts.
    const int from_h = net.H, from_b = net.header.input_buckets;
    if (!fresh && ((hidden && hidden != from_h) || (buckets && buckets != from_b))) {
        if (train_net_grow(net, hidden ? hidden : from_h, buckets ? buckets : from_b, seed) != 0) {
            printf("can't grow the loaded network of %d neurons and %d input buckets to %d and %d "
                   "(no smaller shapes; 16, 32, ... and 1 or 2)\n",
                   from_h, from_b, hidden ? hidden : from_h, buckets ? buckets : from_b);
            return 1;
        }
        printf("grew the loaded network of %d neurons and %d input buckets to %d and %d\n", from_h, from_b, net.H,
               int(net.header.input_buckets));
    }
    if (read_training_file(options.training_file) != 0 || training_set.count == 0) {
        printf("can't read training data from %s\n", options.training_file);
        training_set_free();
        return 1;
    }
    const char* out_name = strstr(options.output_file, ".net") ? options.output_file : "quox-trained.net";
    TrainerConfig config;
    config.positions = options.record_count;
    config.batch = options.batch_size;
    config.learning_rate = options.learning_rate;
    config.threads = threads;
    config.seed = seed;
    config.weight_decay = weight_decay;
    config.result_weight = result_weight;
    config.hold_out = hold_out;
    config.checkpoint_prefix = "quox-ckpt";
    printf("training %s network of %d neurons on %u records of %s: %.1fM positions, batch %u, rate %g, %d threads\n",
           fresh ? "a new" : "the loaded", net.H, training_set.count, options.training_file,
           double(config.positions) / 1e6, config.batch, double(config.learning_rate), config.threads);

    TrainReport report;
    const int status = train_network(net, training_set.records, training_set.count, config, report);
    training_set_free();
    if (status != 0) {
        printf("no usable training records in %s\n", options.training_file);
        return 1;
    }
    const int saved = train_net_save(net, out_name);
    printf("%llu positions in %d epochs, %.0f s: train loss %.6f, validation loss %.6f, engine %.6f\n",
           (unsigned long long)report.positions, report.epochs, report.seconds, report.last_loss,
           report.validation_loss, report.engine_loss);
    printf(saved == 0 ? "saved %s\n" : "can't write %s\n", out_name);
    return saved == 0 ? 0 : 1;
}
