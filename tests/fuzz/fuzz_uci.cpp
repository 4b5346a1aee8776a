// One line of interface input through the engine's command handler, the
// engine's state carried from one input to the next. A "go" is then searched
// at once, on this thread, cut to depth 1 and a few hundred nodes.
// Passed over: lines that end the process by design or would run for long
// ("quit", a Hash larger than the machine should give, an NN_File or a
// parameter file to load, Threads or a perft depth above a few, the log file).
#include <cctype>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "frontend/input.h"
#include "frontend/uci.h"
#include "fuzz_support.h"
#include "search/calibrate.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"

namespace {

// Every number written in the line is at most limit.
bool numbers_within(const std::string& line, long limit) {
    for (size_t i = 0; i < line.size();) {
        if (!isdigit(static_cast<unsigned char>(line[i]))) {
            i++;
            continue;
        }
        long value = 0;
        for (; i < line.size() && isdigit(static_cast<unsigned char>(line[i])); i++) {
            value = value * 10 + (line[i] - '0');
            if (value > limit) return false;
        }
    }
    return true;
}

bool passed_over(const std::string& line) {
    auto has = [&](const char* word) { return line.find(word) != std::string::npos; };
    if (has("quit") || has("NN_File") || has("ConfigFilePath") || has("Log")) return true;
    if (has("Hash") && !numbers_within(line, 64)) return true;
    if (has("Threads") && !numbers_within(line, 4)) return true;
    return has("perft") && !numbers_within(line, 3);
}

// The search a "go" asked for, with its limits cut and the strength limit off;
// the settings the "go" made are put back afterwards.
void search_request() {
    const uint16_t flags = search_state.search_flags.load();
    if (!(flags & (FLAG_GO | FLAG_GO_PONDER))) return;
    const EngineOptions kept = options;
    options.depth_limit = 1;
    options.node_limit = 300;
    options.min_nodes = 0;
    options.limit_mode = 1;
    options.time_per_move = 10.0f;
    options.limit_strength = 0;
    search_start(flags & FLAG_GO_PONDER ? FLAG_PONDER : FLAG_SEARCH, options.threads > 1, nullptr);
    search_state.search_flags.store(0);
    search_state.stop_flag.store(0);
    options.depth_limit = kept.depth_limit;
    options.node_limit = kept.node_limit;
    options.min_nodes = kept.min_nodes;
    options.limit_mode = kept.limit_mode;
    options.time_per_move = kept.time_per_move;
    options.limit_strength = kept.limit_strength;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        // As the program starts in engine mode: the speed measured, the
        // initial position, then the interface's "uci".
        fuzz_start_engine();
        calibrate_speed();
        set_fen(game.pos, START_FEN);
        char uci[] = "uci";
        execute_line(uci);
        return true;
    }();
    (void)ready;
    // The input reader hands over lines of at most its capacity, cut at the first line end.
    std::string line(reinterpret_cast<const char*>(data), size < INPUT_CAPACITY - 1 ? size : INPUT_CAPACITY - 1);
    line.resize(strcspn(line.c_str(), "\r\n@"));
    if (passed_over(line)) return 0;
    execute_line(line.data());
    search_request();
    return 0;
}
