// Progress lines of the long-running tools. They go to standard error, so
// that what a tool prints on standard output stays exactly its result.
#pragma once
#include "core/clock.h"

struct ProgressTimer {
    double start = monotonic_seconds();
    double last = start;
    double interval;

    explicit ProgressTimer(double seconds) : interval(seconds) {}
    // True once per interval; seconds since the start in `elapsed`.
    bool due(double& elapsed) {
        const double now = monotonic_seconds();
        elapsed = now - start;
        if (now - last < interval) return false;
        last = now;
        return true;
    }
    double elapsed() const { return monotonic_seconds() - start; }
};
