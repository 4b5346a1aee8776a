#include "frontend/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/io.h"
#include "core/settings.h"
#include "eval/nn/network.h"
#include "search/rating.h"
#include "search/state.h"
#include "search/tt.h"
#include "tablebase/registry.h"

namespace {

long long clamp_value(long long v, long long lo, long long hi) { return v < lo ? lo : v > hi ? hi : v; }

struct NumericOption {
    const char* name;
    long long min, max;
    void (*store)(long long value);
    long long (*value)();  // what a parameter file gets written
};

// Numbers and checks that only store their value; a check is on when its text says "true".
const NumericOption numeric_options[] = {
    {"Threads", 0, 512, [](long long v) { options.threads = int16_t(v); }, [] { return (long long)options.threads; }},
    {"MoveOverhead", 0, 1000, [](long long v) { options.move_overhead = uint16_t(v); },
     [] { return (long long)options.move_overhead; }},
    {"Contempt", -150, 150, [](long long v) { options.contempt = int16_t(v); }, [] { return (long long)options.contempt; }},
    {"Selectivity", 0, 200, [](long long v) { options.selectivity = int16_t(v); },
     [] { return (long long)options.selectivity; }},
    {"MultiPV", 1, 255, [](long long v) { options.multipv = uint16_t(v); }, [] { return (long long)options.multipv; }},
    {"OwnBook_Variety", 0, 100, [](long long v) { options.book_variety = uint8_t(v); },
     [] { return (long long)options.book_variety; }},
    {"OwnBook_Depth", 0, 100, [](long long v) { options.book_depth = uint8_t(v); },
     [] { return (long long)options.book_depth; }},
    {"OwnBook2_Depth", 0, 100, [](long long v) { options.book2_depth = uint8_t(v); },
     [] { return (long long)options.book2_depth; }},
    {"UCI_Elo", 1500, 3300, [](long long v) { options.uci_elo = int16_t(v); }, [] { return (long long)options.uci_elo; }},
    {"SyzygyProbeDepth6", -5, 100,
     [](long long v) {
         options.syzygy_probe_depth = int8_t(v);
         options.syzygy_probe_depth7 = int8_t(v > 7 ? v : 7);
     },
     [] { return (long long)options.syzygy_probe_depth; }},
};

struct CheckOption {
    const char* name;
    uint8_t EngineOptions::*field;
};

const CheckOption check_options[] = {
    {"Use_NN_eval", &EngineOptions::use_nn},
    {"OwnBook", &EngineOptions::own_book},
    {"UCI_LimitStrength", &EngineOptions::limit_strength},
    {"UCI_Chess960", &EngineOptions::chess960},
    {"Log", &EngineOptions::log},
};

struct TextOption {
    const char* name;
    char* field;
    size_t capacity;
};

const TextOption text_options[] = {
    {"ConfigFilePath", options.config_file, sizeof options.config_file},
    {"NN_File", options.nn_file, sizeof options.nn_file},
    {"OwnBook_File", options.book_file, sizeof options.book_file},
    {"OwnBook2_File", options.book2_file, sizeof options.book2_file},
    {"SyzygyPath", options.syzygy_path, sizeof options.syzygy_path},
};

void reply_number(const char* name, long long value) { print_fmt("info string %s set to %lld", name, value); }

bool set_numeric(const char* name, const char* value) {
    for (const NumericOption& o : numeric_options) {
        if (strcmp(name, o.name) != 0) continue;
        long long v = clamp_value(read_int(value), o.min, o.max);
        o.store(v);
        reply_number(name, v);
        return true;
    }
    return false;
}

bool set_check(const char* name, const char* value) {
    for (const CheckOption& o : check_options) {
        if (strcmp(name, o.name) != 0) continue;
        uint8_t on = strstr(value, "true") != nullptr;
        options.*o.field = on;
        if (o.field == &EngineOptions::log && on) open_log_file();
        reply_number(name, on);
        return true;
    }
    if (strcmp(name, "Ponder") == 0) {  // the one check stored in a wider field
        options.ponder = strstr(value, "true") != nullptr;
        reply_number(name, options.ponder);
        return true;
    }
    return false;
}

bool set_text(const char* name, const char* value) {
    for (const TextOption& o : text_options) {
        if (strcmp(name, o.name) != 0) continue;
        copy_text(o.field, o.capacity, value);
        print_fmt("info string %s set to '%s'", name, o.field);
        if (o.field == options.config_file) load_parameters();
        if (o.field == options.nn_file) load_network();
        if (o.field == options.syzygy_path) tb_setup();
        return true;
    }
    return false;
}

void clear_hash() {
    search_state.hashfull = 0;
    tt_clear();
    print_line("info string Hash table cleared");
}

}  // namespace

void limit_to_speed(float nps) {
    search_state.target_nps = nps;
    options.limit_strength = 1;
    options.uci_elo = elo_from_nps(nps);
}

void set_option(const char* name, const char* value) {
    if (set_numeric(name, value) || set_check(name, value) || set_text(name, value)) return;

    if (strcmp(name, "Hash") == 0) {
        long long v = clamp_value(read_int(value), 0, 65536);
        options.hash_mb = int32_t(v);
        reply_number(name, v);
        if (!tt_allocate()) exit(-1);
    } else if (strcmp(name, "Clear Hash") == 0) {
        clear_hash();
    } else if (strcmp(name, "UCI_Opponent") == 0) {
        const char* rest = strchr(value, ' ');
        long long elo = clamp_value(rest ? read_int(rest) : 0, 0, 4000);
        options.opponent_elo = uint16_t(elo);
        reply_number("opponent_elo", elo);
    } else if (strcmp(name, "Target_NPS") == 0) {
        long long v = clamp_value(read_int(value), 20, 10000);
        limit_to_speed(float(v));
        reply_number(name, v);
    } else if (strcmp(name, "Speed Throttle [%]") == 0) {
        long long p = clamp_value(read_int(value), 1, 100);
        // Outside engine mode the speed is never measured: the share of nothing is the slowest speed.
        double nps = std::round(double(options.calibration_nps) * 0.01 * double(p));
        limit_to_speed(float(nps < 20 ? 20 : nps));
        reply_number(name, p);
    }
}

void load_parameters() {
    FILE* file = fopen(options.config_file, "r");
    if (!file) return;
    print_fmt("info string loading parameters from %s", options.config_file);
    char line[256];
    while (fgets(line, sizeof line, file)) {
        if (strlen(line) < 4) continue;
        line[strcspn(line, "\n#")] = 0;
        char* equals = strchr(line, '=');
        if (!equals) continue;
        char name[101], value[201];
        char* end = equals;
        while (end > line && (end[-1] == ' ' || end[-1] == '\t')) end--;
        size_t n = size_t(end - line) < sizeof name ? size_t(end - line) : sizeof name - 1;
        memcpy(name, line, n);
        name[n] = 0;
        const char* v = equals + 1;
        while (*v == ' ' || *v == '\t') v++;
        copy_text(value, v);
        for (size_t k = strlen(value); k > 0 && strchr(" \t\r", value[k - 1]); k--) value[k - 1] = 0;
        // A file read during a search would change settings under the running threads.
        if (search_state.search_flags.load() == 0) set_option(name, value);
    }
    fclose(file);
    save_settings();
}

int write_parameters(const char* path) {
    FILE* file = fopen(path, "w");
    if (!file) {
        print_fmt("can't write %s", path);
        return -1;
    }
    fprintf(file, "# %s parameters: name = value, read with -cfg or the ConfigFilePath option\n", ENGINE_NAME);
    fprintf(file, "Hash = %d\n", options.hash_mb);
    for (const NumericOption& o : numeric_options) {
        // Outside its range a value is unset (UCI_Elo before the speed is measured): reading it would change it.
        const long long v = o.value();
        fprintf(file, "%s%s = %lld\n", v < o.min || v > o.max ? "# " : "", o.name, v);
    }
    for (const CheckOption& o : check_options) fprintf(file, "%s = %s\n", o.name, options.*o.field ? "true" : "false");
    fprintf(file, "Ponder = %s\n", options.ponder ? "true" : "false");
    fprintf(file, "UCI_Opponent = none %d\n", options.opponent_elo);
    // Not ConfigFilePath: the file would load itself again.
    for (const TextOption& o : text_options)
        if (o.field != options.config_file) fprintf(file, "%s = %s\n", o.name, o.field);
    const bool written = fclose(file) == 0;
    if (written) print_fmt("wrote parameters to %s", path);
    else print_fmt("can't write %s", path);
    return written ? 0 : -1;
}
