// Set-up shared by the tablebase tests: the board tables, the shared Syzygy
// files (or another path), and positions from FEN text.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/position.h"
#include "board/thread_board.h"
#include "core/settings.h"
#include "tablebase/registry.h"
#include "tablebase/tb_probe.h"
#include "test_support.h"

// Registers the tables along path (the shared set by default).
inline void use_tables(const std::string& path = shared_path("syzygy")) {
    static bool once = [] {
        init_tables();
        init_keys();
        return true;
    }();
    (void)once;
    set_default_options();
    options.noise = 99999;
    copy_text(options.syzygy_path, path.c_str());
    tb_setup();
}

// The engine's position of a FEN, in a record kept for the caller.
inline Position& engine_position(const char* fen) {
    static ThreadBoard* board = [] {
        auto* b = new ThreadBoard;
        init_thread_board(*b);
        return b;
    }();
    EXPECT_EQ(set_fen(board->pos, fen), 0) << fen;
    return board->pos;
}

inline TbPosition tb_from_fen(const char* fen) {
    const Position& pos = engine_position(fen);
    return tb_position_from(pos, pos.fifty);
}

struct Probe {
    int value, success;
};
inline Probe wdl_of(const TbPosition& pos) {
    Probe p;
    p.value = tb_probe_wdl_full(pos, p.success);
    return p;
}
inline Probe dtz_of(const TbPosition& pos) {
    Probe p;
    p.value = tb_probe_dtz(pos, p.success);
    return p;
}
