// The one curve linking search speed and playing strength, and the
// score-to-probability curve of the training tools.
#pragma once
#include <cmath>
#include <cstdint>

// 850 + 250 L - 5 L^2 with L = ln(nps), in double precision.
inline double elo_curve(double nps) {
    double l = std::log(nps);
    return 850.0 + 250.0 * l - 5.0 * l * l;
}
inline int16_t elo_from_nps(double nps) { return int16_t(elo_curve(nps)); }

inline float win_probability(float score) { return float(1.0 / (1.0 + std::exp(-0.005 * double(score)))); }
