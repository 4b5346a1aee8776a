// Strength limiting: the speed an Elo stands for, and when the brake engages.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "search/state.h"
#include "search/strength.h"
#include "search_env.h"

namespace {

float target_for(int elo, float calibration) {
    search_test_setup();
    options.limit_strength = 1;
    options.uci_elo = int16_t(elo);
    options.calibration_nps = calibration;
    setup_throttle();
    return search_state.target_nps;
}

}  // namespace

TEST(Strength, EloTargetsFollowTheRatingCurve) {
    EXPECT_NEAR(target_for(1500, 2e6f), 15.7f, 0.2f);
    EXPECT_NEAR(target_for(2500, 2e6f), 2500.0f, 10.0f);
    EXPECT_NEAR(target_for(3300, 2e6f), 649000.0f, 3000.0f);
    EXPECT_EQ(search_state.throttle, 1);
    // A machine not clearly faster than the target runs free.
    target_for(3300, 500000.0f);
    EXPECT_EQ(search_state.throttle, 0);
    options.limit_strength = 0;
    setup_throttle();
    EXPECT_EQ(search_state.throttle, 0);
}
