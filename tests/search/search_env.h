// The settings of the search tests: defaults, quiet, a table of hash_mb megabytes.
#pragma once
#include "core/settings.h"
#include "search/tt.h"

inline void search_test_setup(int hash_mb = 1) {
    set_default_options();
    options.noise = 99999;
    options.hash_mb = hash_mb;
    tt_allocate();
}
