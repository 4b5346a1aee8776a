#include "core/settings.h"

#include <cstdlib>
#include <cstring>

EngineOptions options;
EngineOptions saved_settings;

void copy_text(char* field, size_t capacity, const char* text) {
    if (capacity == 0) return;
    if (!text) text = "";
    size_t n = strnlen(text, capacity - 1);
    memcpy(field, text, n);
    field[n] = 0;
}

void set_default_options() {
    EngineOptions& o = options;
    memset(&o, 0, sizeof o);
    o.quit_requested = 0;
    o.noise = 0;
    o.learning_rate = 0.001f;
    o.record_count = 400000000;
    o.batch_size = 3000;
    o.weight_noise = 0;
    o.numa = 0;
    copy_text(o.output_file, "tmp0.epd");
    o.uci_mode = 1;
    o.calibration_nps = 0;
    o.calibration_elo = 0;
    o.min_nodes = 1000000000000000ull;
    o.node_limit = 1000000000000000ull;
    o.second_depth = 80;
    o.depth_limit = 80;
    o.limit_mode = 1;
    o.time_per_move = 5.0f;
    o.increment = 0;
    o.hash_mb = 64;
    o.threads = 1;
    o.use_nn = 1;
    o.move_overhead = 50;
    o.ponder = 0;
    o.multipv = 1;
    o.uci_elo = 0;
    o.limit_strength = 0;
    o.chess960 = 0;
    o.own_book = 1;
    o.book_variety = 25;
    o.book_depth = 30;
    o.book2_depth = 0;
    o.log = 0;
    copy_text(o.nn_file, "embedded");
    copy_text(o.book_file, "quox_book.bin");
    o.syzygy_probe_depth = 1;
    o.syzygy_probe_depth7 = 7;
    o.eval_noise = 0;
    o.opponent_elo = 0;
    o.contempt = 0;
    o.selectivity = 100;
    o.contempt_slope = 15;
    o.sep_depth = 3;
    o.nmp_depth = 3;
    o.fp_depth = 4;
    o.lmp_depth = 6;
    o.lmr_depth = 3;
    o.display_eval = 0;
}

void save_settings() { memcpy(&saved_settings, &options, sizeof options); }
void restore_settings() {
    // The mode, a pending quit and the measured speed describe the running
    // program, not a choice of the user: they survive a restore.
    EngineOptions now = options;
    memcpy(&options, &saved_settings, sizeof options);
    options.quit_requested = now.quit_requested;
    options.uci_mode = now.uci_mode;
    options.calibration_nps = now.calibration_nps;
    options.calibration_elo = now.calibration_elo;
}

long long read_int(const char* text) {
    return text ? strtoll(text, nullptr, 10) : 0;
}

double read_real(const char* text) {
    return text ? strtod(text, nullptr) : 0.0;
}
