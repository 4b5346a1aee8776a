// Program entry: the start-up order, the switches, and exactly one mode.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "board/attacks.h"
#include "board/thread_board.h"
#include "frontend/cmdline.h"
#include "frontend/game_loop.h"
#include "frontend/io.h"
#include "frontend/options.h"
#include "frontend/settings.h"
#include "search/game.h"
#include "search/state.h"

namespace {

int run_mode(const CommandLine& cmd) {
    switch (cmd.mode) {
        case MODE_ENGINE:
            game_loop();
            return 0;
        case MODE_MAKE_CONFIG:
            return 0;
        default:
            print_fmt("mode %d is not available in this build", cmd.mode);
            return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // 1-2. Unbuffered output (every line is flushed by print_line) and a clock-seeded generator.
    setvbuf(stdout, nullptr, _IONBF, 0);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    srand(unsigned(now.tv_nsec));

    // 3. The game record, from which every search thread copies its position.
    init_thread_board(game);

    // 4. Attack tables and the king-and-pawn table.
    init_tables();
    init_kpk_table();

    // 5-6. Defaults, then the copy that "uci" shows as defaults (taken before the switches).
    set_default_options();
    search_state.clock[0] = search_state.clock[1] = 5.0f;
    search_state.target_time = 1.0f;
    search_state.table_enabled = 1;
    save_settings();

    // 7. Switches.
    CommandLine cmd;
    if (apply_switches(argc, argv, cmd) != 0) return 1;

    // 8-9. Locks are statically initialised; training needs the trainer build.
    if (cmd.mode == MODE_TRAIN || cmd.mode == MODE_TRAIN2) {
        print_line("Need to compile with 'make train_'");
        return 1;
    }

    // 10.
    if (options.noise < 99999) print_fmt("info string Hello from %s", ENGINE_NAME);

    // 11. Small fixed searches do not need a large table.
    if (options.depth_limit <= 8 || options.node_limit <= 100000)
        options.hash_mb = 2;
    else if (options.depth_limit == 9 || options.node_limit <= 200000)
        options.hash_mb = 4;

    // 14-15. Parameter file and log file. (No timer period to set: nanosleep is precise here.)
    if (options.config_file[0]) load_parameters();
    open_log_file();

    // 17-18. Exactly one mode, then release everything.
    int code = run_mode(cmd);
    close_log_file();
    return code;
}
