// Process-wide set-up for the search tests: tables, keys, settings, a table.
#pragma once
#include "board/attacks.h"
#include "board/keys.h"
#include "board/thread_board.h"
#include "eval/params.h"
#include "core/settings.h"
#include "search/tt.h"

inline void search_test_setup(int hash_mb = 1) {
    static bool once = [] {
        init_tables();
        init_kpk_table();
        init_keys();
        init_eval_params();
        load_param_text(default_param_text);
        return true;
    }();
    (void)once;
    set_default_options();
    options.noise = 99999;
    options.hash_mb = hash_mb;
    tt_allocate();
}
