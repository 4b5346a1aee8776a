// The monotonic clock and the short sleeps of the polling loops.
#pragma once
#include <time.h>

inline double monotonic_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

inline void sleep_ms(int milliseconds) {
    timespec t{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}
