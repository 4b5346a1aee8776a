// Inputs that fuzzing found to break the option handler, kept as they were found.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "frontend/options.h"
#include "search/rating.h"
#include "search/state.h"

TEST(FuzzFindings, SpeedThrottleWithoutMeasuredSpeed) {
    // Outside engine mode (a parameter file read by a tool) the speed is never measured.
    set_default_options();
    options.calibration_nps = 0;
    set_option("Speed Throttle [%]", "50");
    EXPECT_EQ(search_state.target_nps, 20.0f);
    EXPECT_EQ(options.uci_elo, elo_from_nps(20));
    EXPECT_EQ(options.limit_strength, 1);
    set_default_options();
}
