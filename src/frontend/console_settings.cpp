// "set name value": the console's settings.
#include <cstring>

#include "board/types.h"
#include "core/io.h"
#include "core/settings.h"
#include "frontend/console_commands.h"
#include "frontend/options.h"
#include "search/state.h"

namespace {

// Seconds, also written minutes:seconds.
double read_time(const char* text) {
    const char* colon = strchr(text, ':');
    return colon ? read_real(text) * 60 + read_real(colon + 1) : read_real(text);
}

void set_level(const ConsoleWords& w) {
    options.limit_mode = int16_t(read_int(w.arg(1)));
    options.time_per_move = float(read_time(w.arg(2)));
    options.increment = float(read_real(w.arg(3)));
    search_state.clock[WHITE] = search_state.clock[BLACK] = options.time_per_move;
    print_fmt("set level to %d moves in %0.2f seconds, inc %0.2f", options.limit_mode, double(options.time_per_move),
              double(options.increment));
}

void set_selectivity(long long value) {
    if (value == 1) {
        restore_settings();
        print_line("set default Settings");
        return;
    }
    options.sep_depth = 0;
    options.nmp_depth = 99;
    options.lmp_depth = 0;
    options.lmr_depth = 99;
    print_line("selectivity set to OFF");
}

// Settings taken as they are, without a range, and confirmed.
struct PlainSetting {
    const char* name;
    int16_t EngineOptions::*field;
};
const PlainSetting PLAIN_SETTINGS[] = {
    {"NMP_depth", &EngineOptions::nmp_depth},     {"SEP_depth", &EngineOptions::sep_depth},
    {"FP_depth", &EngineOptions::fp_depth},       {"LMP_depth", &EngineOptions::lmp_depth},
    {"LMR_depth", &EngineOptions::lmr_depth},     {"Selectivity", &EngineOptions::selectivity},
    {"contempt", &EngineOptions::contempt},
};

}  // namespace

void console_set(const ConsoleWords& w) {
    const char* name = w.arg(0);
    const char* text = w.arg(1);
    long long value = read_int(text);
    if (!strcmp(name, "hash")) {
        search_state.table_enabled = uint8_t(value);
    } else if (!strcmp(name, "noise")) {
        options.noise = float(read_real(text));
    } else if (strstr(name, "multipv")) {
        options.multipv = uint16_t(value);
    } else if (!strcmp(name, "debug")) {
        options.display_eval = uint8_t(value);
    } else if (!strcmp(name, "frc")) {
        options.chess960 = uint8_t(value);
    } else if (!strcmp(name, "level")) {
        set_level(w);
    } else if (!strcmp(name, "depth")) {
        options.depth_limit = int16_t(value < MAX_PLY ? value : MAX_PLY);
    } else if (!strcmp(name, "nodes")) {
        options.depth_limit = MAX_PLY;
        options.node_limit = uint64_t(value < 0 ? 0 : value);
    } else if (!strcmp(name, "target_nps")) {
        double nps = read_real(text);
        limit_to_speed(float(nps < 1 ? 1 : nps));  // the speed curve needs a positive speed
        print_fmt("target_nps set to %.0f, Elo= %d", double(search_state.target_nps), options.uci_elo);
    } else if (!strcmp(name, "ss")) {
        set_selectivity(value);
    } else if (!strcmp(name, "ponder")) {
        options.ponder = uint16_t(value);
        print_fmt("%s set to %d", name, int(options.ponder));
    } else {
        for (const PlainSetting& s : PLAIN_SETTINGS)
            if (!strcmp(name, s.name)) {
                options.*s.field = int16_t(value);
                print_fmt("%s set to %d", name, int(options.*s.field));
            }
    }
}
