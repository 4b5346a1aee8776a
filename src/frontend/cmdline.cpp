#include "frontend/cmdline.h"

#include <cstdio>
#include <cstring>

#include "frontend/settings.h"
#include "search/rating.h"
#include "search/state.h"
#include "tools/bench.h"

namespace {

// A switch that starts a fixed-limit search configuration.
void fixed_limit(float seconds) {
    options.limit_mode = 1;
    options.time_per_move = seconds;
}

// Values a switch consumes, by name; everything else takes none.
int value_count(const char* arg) {
    static const char* one[] = {"-noise",   "-cfg",     "-t",          "-d",         "-n",       "-md",
                                "-mn",      "-nps",     "-hash",       "-threads",   "-book",    "-tbpath",
                                "-o",       "-mpv",     "-ss",         "-anepd",     "-mkbook",  "-mkbook2",
                                "-epd2bin", "-bin2epd", "-bin2ptb",    "-filtertraindata", "-scoretraindata",
                                "-lr",      "-mbatch",  "-tw"};
    for (const char* name : one)
        if (!strcmp(arg, name)) return 1;
    if (strstr(arg, "-scan_pgn")) return 1;
    if (!strcmp(arg, "-gentraindata") || !strcmp(arg, "-train") || !strcmp(arg, "-train2")) return 2;
    return 0;
}

}  // namespace

int apply_switches(int argc, char** argv, CommandLine& cmd) {
    EngineOptions& o = options;
    // "bench [depth]" (no dash), the form engine-testing frameworks call: one
    // thread, a fixed depth and table size, so the node count is a fingerprint.
    if (argc >= 2 && !strcmp(argv[1], "bench")) {
        long long depth = argc >= 3 ? read_int(argv[2]) : BENCH_DEFAULT_DEPTH;
        o.depth_limit = int16_t(depth < 1 ? 1 : depth > 79 ? 79 : depth);
        fixed_limit(10000);
        o.threads = 1;
        o.hash_mb = 16;
        cmd.mode = MODE_BENCH;
        cmd.main_thread_only = cmd.bench_word = true;
        return 0;
    }
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        int needed = value_count(a);
        if (i + needed >= argc) return 1;
        const char* v = needed ? argv[i + 1] : "";
        i += needed;

        if (!strcmp(a, "-uci")) o.uci_mode = 1;
        else if (!strcmp(a, "-c")) o.uci_mode = 0;
        else if (!strcmp(a, "-log")) o.log = 2;
        else if (!strcmp(a, "-numa")) o.numa = 1;
        else if (!strcmp(a, "-noise")) o.noise = float(read_real(v));
        else if (!strcmp(a, "-quiet")) o.noise = 99999, o.log = 0;
        else if (!strcmp(a, "-cfg")) copy_text(o.config_file, v);
        else if (!strcmp(a, "-t")) fixed_limit(float(read_real(v))), o.depth_limit = 79;
        else if (!strcmp(a, "-d")) {
            long long d = read_int(v);
            o.depth_limit = int16_t(d < 79 ? d : 79);
            fixed_limit(10000);
        } else if (!strcmp(a, "-n")) o.node_limit = uint64_t(read_int(v)), o.depth_limit = 79, fixed_limit(10000);
        else if (!strcmp(a, "-md")) o.second_depth = int16_t(read_int(v)), fixed_limit(10000);
        else if (!strcmp(a, "-mn")) o.min_nodes = uint64_t(read_int(v)), fixed_limit(1000);
        else if (!strcmp(a, "-nps")) {
            double nps = read_real(v);
            search_state.target_nps = float(nps);
            o.limit_strength = 1;
            o.uci_elo = elo_from_nps(nps);
            printf("Elo= %d\n", o.uci_elo);
        } else if (!strcmp(a, "-hash")) {
            long long mb = read_int(v);
            o.hash_mb = int32_t(mb < 0 ? 0 : mb > 65536 ? 65536 : mb);
        } else if (!strcmp(a, "-threads")) {
            long long n = read_int(v);
            o.threads = int16_t(n < 1 ? 1 : n > 512 ? 512 : n);
        } else if (!strcmp(a, "-book")) copy_text(o.book_file, v);
        else if (!strcmp(a, "-tbpath")) copy_text(o.syzygy_path, v);
        else if (!strcmp(a, "-tbx")) copy_text(o.syzygy_path, "\\Chess\\Syzygy\\6-Piece;\\Chess\\Syzygy\\7-Piece");
        else if (!strcmp(a, "-use_hce")) o.use_nn = 0;
        else if (!strcmp(a, "-use_nn")) o.use_nn = 1;
        else if (!strcmp(a, "-o")) copy_text(o.output_file, 140, v);
        else if (!strcmp(a, "-mpv")) o.multipv = uint16_t(read_int(v));
        else if (!strcmp(a, "-ss")) {
            long long s = read_int(v);
            o.selectivity = int16_t(s < 10 ? 10 : s > 200 ? 200 : s);
        } else if (!strcmp(a, "-anepd")) copy_text(o.epd_input, v), o.noise = 99999, cmd.mode = MODE_ANALYSE_EPD;
        else if (strstr(a, "-scan_pgn")) copy_text(o.pgn_input, v), cmd.mode = MODE_SCAN_PGN;
        else if (!strcmp(a, "-bench")) cmd.mode = MODE_BENCH;
        else if (!strcmp(a, "-pbench")) cmd.mode = MODE_BENCH, cmd.main_thread_only = true;
        else if (!strcmp(a, "-mkconfig")) cmd.mode = MODE_MAKE_CONFIG;
        else if (!strcmp(a, "-mkbook")) copy_text(o.pgn_input, v), cmd.mode = MODE_MAKE_BOOK;
        else if (!strcmp(a, "-mkbook2")) copy_text(o.epd_input, v), cmd.mode = MODE_MAKE_BOOK_EPD;
        else if (!strcmp(a, "-epd2bin")) copy_text(o.epd_input, v), cmd.mode = MODE_EPD_TO_BIN;
        else if (!strcmp(a, "-bin2epd")) copy_text(o.training_file, 141, v), cmd.mode = MODE_BIN_TO_EPD;
        else if (!strcmp(a, "-bin2ptb")) copy_text(o.training_file, v), cmd.mode = MODE_BIN_TO_PTB;
        else if (!strcmp(a, "-prune_nn")) cmd.mode = MODE_PRUNE_NN;
        else if (!strcmp(a, "-gencorrhist")) cmd.mode = MODE_GEN_CORRHIST;
        else if (!strcmp(a, "-filtertraindata")) copy_text(o.training_file, v), cmd.mode = MODE_FILTER_TRAINING;
        else if (!strcmp(a, "-gentraindata")) {
            copy_text(o.training_file, v);
            long long games = read_int(argv[i]);
            if (games < 1) return 1;
            o.record_count = uint64_t(games);
            o.noise = 99999;
            o.book_variety = 75;
            cmd.mode = MODE_GEN_TRAINING;
        } else if (!strcmp(a, "-scoretraindata")) {
            copy_text(o.epd_input, v);
            copy_text(o.syzygy_path, "\\Chess\\Syzygy\\6-Piece");
            cmd.mode = MODE_SCORE_TRAINING;
        } else if (!strcmp(a, "-train") || !strcmp(a, "-train2")) {
            copy_text(o.training_file, v);
            double millions = read_real(argv[i]);
            if (millions * 1000000.0 < 1000000.0) return 1;
            o.record_count = uint64_t(millions * 1000000.0);
            if (i + 1 < argc && (argv[i + 1][0] == '0' || argv[i + 1][0] == '1')) i++;
            o.hash_mb = 0;
            cmd.mode = a[6] == '2' ? MODE_TRAIN2 : MODE_TRAIN;
        } else if (!strcmp(a, "-lr")) o.learning_rate = float(read_real(v));
        else if (!strcmp(a, "-mbatch")) o.batch_size = uint32_t(read_int(v));
        else if (!strcmp(a, "-tw")) o.weight_noise = float(read_real(v));
        else if (!strcmp(a, "-tdstats")) cmd.mode = MODE_TRAINING_STATS;
        else if (!strcmp(a, "-tune")) {
            if ((i = read_tune_args(argc, argv, i + 1, cmd.tune)) < 0) return 1;
            cmd.mode = MODE_TUNE;
        }
    }
    return 0;
}
