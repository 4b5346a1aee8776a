#include "search/calibrate.h"

#include <cmath>

#include "core/io.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/rating.h"
#include "search/state.h"
#include "search/thread.h"

void calibrate_speed() {
    set_fen(game.pos, "rnb1k2r/1pq1bppp/p2p1n2/4p3/4P3/2N1BN2/PPP1BPPP/R2QK2R w KQkq -");
    uint64_t node_limit = options.node_limit;
    int16_t threads = options.threads;
    uint8_t limit_strength = options.limit_strength;
    float noise = options.noise;
    options.node_limit = 35000;
    options.threads = 1;
    options.limit_strength = 0;
    options.noise = 99999;
    search_start(FLAG_ANALYSE, 0);
    search_state.search_flags.store(0);
    options.node_limit = node_limit;
    options.threads = threads;
    options.limit_strength = limit_strength;
    options.noise = noise;

    double elapsed = search_state.elapsed.load();
    float nps = float(double(search_threads[0]->nodes) / (elapsed + 0.002) * 1.18);
    options.calibration_nps = nps;
    options.calibration_elo = float(elo_curve(nps));
    print_fmt("info string et= %.3f, calibration nps= %0.0f, elo= %0.0f", elapsed, double(nps),
              double(options.calibration_elo));
}
