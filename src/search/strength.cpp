#include "search/strength.h"

#include <cmath>

#include "core/clock.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/rating.h"
#include "search/timeman.h"

void setup_throttle() {
    SearchState& s = search_state;
    s.throttle = 0;
    if (!options.limit_strength || options.uci_elo <= 0) return;
    // The curve rises over the whole range, so bisection finds the speed of an Elo.
    float lo = 10.0f, hi = 1e7f, mid = lo;
    for (int i = 0; i < 200; i++) {
        mid = (lo + hi) / 2;
        double elo = elo_curve(double(mid));
        if (std::fabs(elo - options.uci_elo) < 0.5) break;
        if (options.uci_elo > elo)
            lo = mid;
        else
            hi = mid;
    }
    s.target_nps = mid;
    // A machine that is not clearly faster than the target needs no brake.
    s.throttle = options.calibration_nps * 0.9f > s.target_nps;
}

void throttle_wait(SearchThread& t) {
    SearchState& s = search_state;
    while (s.main_depth.load(std::memory_order_relaxed) >= 2 && !search_stopped()) {
        float nps = float(relaxed_load(t.nodes)) / (s.elapsed.load(std::memory_order_relaxed) + 0.0001f);
        if (nps <= s.target_nps) break;
        sleep_ms(1);
        update_clock();
    }
}
