#include "frontend/cmdline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/io.h"
#include "core/settings.h"
#include "search/rating.h"
#include "search/state.h"
#include "tools/bench.h"

namespace {

using Values = char* const*;  // the arguments that follow the switch

long long clamp(long long v, long long lo, long long hi) { return v < lo ? lo : v > hi ? hi : v; }

// Switches that fix a search limit also give the time per move that goes with it.
void fixed_limit(float seconds) {
    options.limit_mode = 1;
    options.time_per_move = seconds;
}

void set_mode(CommandLine& cmd, int mode, char* field, size_t capacity, const char* file) {
    if (field) copy_text(field, capacity, file);
    cmd.mode = mode;
}

// A tool's optional file: the next argument unless it is a switch. The field
// is cleared without one, so the tool falls back to its fixed name. Returns
// the number of arguments taken.
bool has_optional(Values v) { return v[0] && v[0][0] != '-'; }

int optional_file(Values v, char* field, size_t capacity) {
    const bool given = has_optional(v);
    copy_text(field, capacity, given ? v[0] : "");
    return given ? 1 : 0;
}

// -train file millions [flag]: the flag is a third value beginning with 0 or 1.
int read_training_switch(CommandLine& cmd, int mode, char* const* v) {
    double millions = read_real(v[1]);
    if (millions < 1.0) return -1;
    options.record_count = uint64_t(millions * 1000000.0);
    options.hash_mb = 0;
    set_mode(cmd, mode, options.training_file, sizeof options.training_file, v[0]);
    const bool flag = v[2] && (v[2][0] == '0' || v[2][0] == '1');
    cmd.train_flag = flag ? v[2][0] - '0' : 0;
    return flag ? 1 : 0;
}

// A switch: its name, how many values it takes, and what it does. apply
// returns how many optional values it took as well, or -1 when a value is unusable.
struct Switch {
    const char* name;
    int values;
    int (*apply)(CommandLine& cmd, Values v);
};

#define FIELD(f) options.f, sizeof options.f

const Switch switches[] = {
    {"-uci", 0, [](CommandLine&, Values) { return options.uci_mode = 1, 0; }},
    {"-c", 0, [](CommandLine&, Values) { return options.uci_mode = 0, 0; }},
    {"-log", 0, [](CommandLine&, Values) { return options.log = 2, 0; }},
    {"-numa", 0, [](CommandLine&, Values) { return options.numa = 1, 0; }},
    {"-noise", 1, [](CommandLine&, Values v) { return options.noise = float(read_real(v[0])), 0; }},
    {"-quiet", 0, [](CommandLine&, Values) { return options.noise = 99999, options.log = 0, 0; }},
    {"-cfg", 1, [](CommandLine&, Values v) { return copy_text(FIELD(config_file), v[0]), 0; }},
    {"-t", 1, [](CommandLine&, Values v) { return fixed_limit(float(read_real(v[0]))), options.depth_limit = 79, 0; }},
    {"-d", 1,
     [](CommandLine&, Values v) {
         options.depth_limit = int16_t(std::min(read_int(v[0]), 79LL));
         return fixed_limit(10000), 0;
     }},
    {"-n", 1,
     [](CommandLine&, Values v) {
         options.node_limit = uint64_t(read_int(v[0]));
         options.depth_limit = 79;
         return fixed_limit(10000), 0;
     }},
    {"-md", 1, [](CommandLine&, Values v) { return options.second_depth = int16_t(read_int(v[0])), fixed_limit(10000), 0; }},
    {"-mn", 1, [](CommandLine&, Values v) { return options.min_nodes = uint64_t(read_int(v[0])), fixed_limit(1000), 0; }},
    {"-nps", 1,
     [](CommandLine&, Values v) {
         double nps = read_real(v[0]);
         search_state.target_nps = float(nps);
         options.limit_strength = 1;
         options.uci_elo = elo_from_nps(nps);
         printf("Elo= %d\n", options.uci_elo);
         return 0;
     }},
    {"-hash", 1, [](CommandLine&, Values v) { return options.hash_mb = int32_t(clamp(read_int(v[0]), 0, 65536)), 0; }},
    {"-threads", 1, [](CommandLine&, Values v) { return options.threads = int16_t(clamp(read_int(v[0]), 1, 512)), 0; }},
    {"-book", 1, [](CommandLine&, Values v) { return copy_text(FIELD(book_file), v[0]), 0; }},
    {"-tbpath", 1, [](CommandLine&, Values v) { return copy_text(FIELD(syzygy_path), v[0]), 0; }},
    {"-tbx", 0,
     [](CommandLine&, Values) {
         return copy_text(FIELD(syzygy_path), "\\Chess\\Syzygy\\6-Piece;\\Chess\\Syzygy\\7-Piece"), 0;
     }},
    {"-use_hce", 0, [](CommandLine&, Values) { return options.use_nn = 0, 0; }},
    {"-use_nn", 0, [](CommandLine&, Values) { return options.use_nn = 1, 0; }},
    {"-o", 1, [](CommandLine& c, Values v) { return c.output_named = true, copy_text(options.output_file, 140, v[0]), 0; }},
    {"-mpv", 1, [](CommandLine&, Values v) { return options.multipv = uint16_t(read_int(v[0])), 0; }},
    {"-ss", 1, [](CommandLine&, Values v) { return options.selectivity = int16_t(clamp(read_int(v[0]), 10, 200)), 0; }},
    {"-anepd", 1,
     [](CommandLine& c, Values v) { return options.noise = 99999, set_mode(c, MODE_ANALYSE_EPD, FIELD(epd_input), v[0]), 0; }},
    {"-scan_pgn", 1, [](CommandLine& c, Values v) { return set_mode(c, MODE_SCAN_PGN, FIELD(pgn_input), v[0]), 0; }},
    {"-bench", 0, [](CommandLine& c, Values) { return set_mode(c, MODE_BENCH, nullptr, 0, ""), 0; }},
    {"-pbench", 0,
     [](CommandLine& c, Values) { return c.main_thread_only = true, set_mode(c, MODE_BENCH, nullptr, 0, ""), 0; }},
    {"-mkconfig", 0,
     [](CommandLine& c, Values v) {
         c.config_out = has_optional(v) ? v[0] : nullptr;
         return set_mode(c, MODE_MAKE_CONFIG, nullptr, 0, ""), c.config_out ? 1 : 0;
     }},
    {"-mkbook", 1,
     [](CommandLine& c, Values v) {
         set_mode(c, MODE_MAKE_BOOK, FIELD(pgn_input), v[0]);
         // An optional second value names the book written.
         const bool named = has_optional(v + 1);
         c.book_output = named ? v[1] : "";
         return named ? 1 : 0;
     }},
    {"-mkbook2", 1, [](CommandLine& c, Values v) { return set_mode(c, MODE_MAKE_BOOK_EPD, FIELD(epd_input), v[0]), 0; }},
    {"-epd2bin", 1, [](CommandLine& c, Values v) { return set_mode(c, MODE_EPD_TO_BIN, FIELD(epd_input), v[0]), 0; }},
    {"-bin2epd", 1, [](CommandLine& c, Values v) { return set_mode(c, MODE_BIN_TO_EPD, options.training_file, 141, v[0]), 0; }},
    {"-bin2ptb", 1, [](CommandLine& c, Values v) { return set_mode(c, MODE_BIN_TO_PTB, FIELD(training_file), v[0]), 0; }},
    {"-prune_nn", 0,
     [](CommandLine& c, Values v) { return set_mode(c, MODE_PRUNE_NN, nullptr, 0, ""), optional_file(v, FIELD(training_file)); }},
    {"-gencorrhist", 0,
     [](CommandLine& c, Values v) {
         return set_mode(c, MODE_GEN_CORRHIST, nullptr, 0, ""), optional_file(v, FIELD(training_file));
     }},
    {"-filtertraindata", 1,
     [](CommandLine& c, Values v) { return set_mode(c, MODE_FILTER_TRAINING, FIELD(training_file), v[0]), 0; }},
    {"-gentraindata", 2,
     [](CommandLine& c, Values v) {
         long long games = read_int(v[1]);
         if (games < 1) return -1;
         options.record_count = uint64_t(games);
         options.noise = 99999;
         options.book_variety = 75;
         return set_mode(c, MODE_GEN_TRAINING, FIELD(training_file), v[0]), 0;
     }},
    {"-scoretraindata", 1,
     [](CommandLine& c, Values v) {
         copy_text(FIELD(syzygy_path), "\\Chess\\Syzygy\\6-Piece");
         return set_mode(c, MODE_SCORE_TRAINING, FIELD(epd_input), v[0]), 0;
     }},
    {"-train", 2, [](CommandLine& c, Values v) { return read_training_switch(c, MODE_TRAIN, v); }},
    {"-train2", 2, [](CommandLine& c, Values v) { return read_training_switch(c, MODE_TRAIN2, v); }},
    {"-lr", 1, [](CommandLine&, Values v) { return options.learning_rate = float(read_real(v[0])), 0; }},
    {"-mbatch", 1, [](CommandLine&, Values v) { return options.batch_size = uint32_t(read_int(v[0])), 0; }},
    {"-tw", 1, [](CommandLine&, Values v) { return options.weight_noise = float(read_real(v[0])), 0; }},
    {"-tdstats", 0,
     [](CommandLine& c, Values v) {
         return set_mode(c, MODE_TRAINING_STATS, nullptr, 0, ""), optional_file(v, FIELD(training_file));
     }},
};

#undef FIELD

// "-scan_pgn" is recognised anywhere inside an argument; the others by their exact name.
const Switch* find_switch(const char* arg) {
    for (const Switch& s : switches)
        if (!strcmp(arg, s.name) || (!strcmp(s.name, "-scan_pgn") && strstr(arg, s.name))) return &s;
    return nullptr;
}

}  // namespace

int apply_switches(int argc, char** argv, CommandLine& cmd) {
    EngineOptions& o = options;
    // "bench [depth]" (no dash), the form engine-testing frameworks call: one
    // thread, a fixed depth and table size, so the node count is a fingerprint.
    if (argc >= 2 && !strcmp(argv[1], "bench")) {
        long long depth = argc >= 3 ? read_int(argv[2]) : BENCH_DEFAULT_DEPTH;
        o.depth_limit = int16_t(clamp(depth, 1, 79));
        fixed_limit(10000);
        o.threads = 1;
        o.hash_mb = 16;
        cmd.mode = MODE_BENCH;
        cmd.main_thread_only = cmd.bench_word = true;
        return 0;
    }
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-tune")) {
            if ((i = read_tune_args(argc, argv, i + 1, cmd.tune)) < 0) return 1;
            cmd.mode = MODE_TUNE;
            continue;
        }
        const Switch* s = find_switch(argv[i]);
        if (!s) continue;  // unknown arguments are ignored
        if (i + s->values >= argc) {
            print_fmt("%s needs %d value%s", argv[i], s->values, s->values > 1 ? "s" : "");
            return 1;
        }
        int extra = s->apply(cmd, argv + i + 1);
        if (extra < 0) {
            print_fmt("%s needs a count of at least 1", argv[i]);
            return 1;
        }
        i += s->values + extra;
    }
    return 0;
}
