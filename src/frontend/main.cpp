// Program entry: the start-up order, the switches, and exactly one mode.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/thread_board.h"
#include "eval/nn/network.h"
#include "eval/params.h"
#include "frontend/cmdline.h"
#include "frontend/game_loop.h"
#include "core/io.h"
#include "frontend/options.h"
#include "core/settings.h"
#include "search/calibrate.h"
#include "search/game.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tablebase/registry.h"
#include "tools/bench.h"
#include "tools/book_builder.h"
#include "tools/data_tools.h"
#include "tools/epd_analysis.h"
#ifdef QUOX_TRAINER
#include "tools/trainer/trainer.h"
#endif
#include "tools/tuner.h"

namespace {

int run_mode(const CommandLine& cmd, int argc, char** argv) {
    switch (cmd.mode) {
        case MODE_ENGINE:
            calibrate_speed();
            game_loop();
            return 0;
        case MODE_MAKE_CONFIG:
            write_parameters(cmd.config_out ? cmd.config_out : "quox.cfg");
            return 0;
        case MODE_ANALYSE_EPD:
            analyse_epd(cmd.output_named ? options.output_file : "", 0);
            return 0;
        case MODE_MAKE_BOOK_EPD:
            analyse_epd("junk.epd", 1);
            return 0;
        case MODE_BENCH:
            return run_benchmark(cmd.main_thread_only, cmd.bench_word);
        case MODE_MAKE_BOOK:
            make_book(options.pgn_input, cmd.book_output.c_str());
            return 0;
        case MODE_TUNE:
            return run_tuner(cmd.tune);
        case MODE_SCAN_PGN:
        case MODE_GEN_TRAINING:
        case MODE_FILTER_TRAINING:
        case MODE_EPD_TO_BIN:
        case MODE_BIN_TO_EPD:
        case MODE_BIN_TO_PTB:
        case MODE_SCORE_TRAINING:
        case MODE_TRAINING_STATS:
        case MODE_GEN_CORRHIST:
        case MODE_PRUNE_NN:
            return run_data_tool(cmd.mode);
#ifdef QUOX_TRAINER
        case MODE_TRAIN:
        case MODE_TRAIN2:
            return run_trainer(cmd.mode, cmd.train_flag, argc, argv);
#endif
        default:
            print_fmt("mode %d is not available in this build", cmd.mode);
            return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // 1-2. Unbuffered output (print_line also flushes each line); a clock-seeded generator.
    setvbuf(stdout, nullptr, _IONBF, 0);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    srand(unsigned(now.tv_nsec));

    // 3-6. Thread and game records, tables, defaults (saved before the switches).
    if (start_engine_records() != 0) return 1;

    // 7. Switches.
    CommandLine cmd;
    if (apply_switches(argc, argv, cmd) != 0) return 1;

    // 8-9. The locks need no set-up; training needs the trainer build ("make train").
#ifndef QUOX_TRAINER
    if (cmd.mode == MODE_TRAIN || cmd.mode == MODE_TRAIN2) {
        print_line("Need to compile with 'make train_'");
        return 1;
    }
#endif

    // 10.
    if (options.noise < 99999) print_fmt("info string Hello from %s", ENGINE_NAME);

    // 11-12. Small fixed searches do not need a large table.
    // (The "bench" fingerprint run keeps its own table size.)
    if (!cmd.bench_word) {
        if (options.depth_limit <= 8 || options.node_limit <= 100000)
            options.hash_mb = 2;
        else if (options.depth_limit == 9 || options.node_limit <= 200000)
            options.hash_mb = 4;
    }
    if (!tt_allocate()) return 1;

    // 13-15. (No timer period to set: nanosleep is precise here.) Parameter file, log file.
    if (options.config_file[0]) load_parameters();
    open_log_file();

    // 16. The evaluation: parameters, then the network; the tablebases.
    init_eval_params();
    load_param_text(default_param_text);
    load_network();
    if (strlen(options.syzygy_path) > 1) tb_setup();

    // 17-18. Exactly one mode, then release everything.
    int code = run_mode(cmd, argc, argv);
    tt_free();
    tb_free();
    free_search_threads();
    close_log_file();
    return code;
}
