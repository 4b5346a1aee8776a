// The fixed benchmark: 20 middle-game positions searched one after another.
#pragma once

// main_thread_only: search on the calling thread (-pbench, and "bench").
// exact: the last line carries the exact node count (the "bench" fingerprint).
int run_benchmark(bool main_thread_only, bool exact = false);

// Depth of "quox bench" when none is given: a few seconds on one thread.
constexpr int BENCH_DEFAULT_DEPTH = 13;
