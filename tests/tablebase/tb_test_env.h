// Shared by the tablebase tests: the tables along a path (the shared set by
// default), probes, and the moves of a position as the engine's own generator
// sees them.
#pragma once
#include <gtest/gtest.h>

#include "core/settings.h"
#include "tablebase/registry.h"
#include "tablebase/tb_probe.h"
#include "test_support.h"

// Registers the tables along path; returns what the set-up printed.
inline std::string use_tables(const std::string& path = shared_path("syzygy")) {
    set_default_options();
    copy_text(options.syzygy_path, path.c_str());
    testing::internal::CaptureStdout();
    tb_setup();
    return testing::internal::GetCapturedStdout();
}

// The engine's position of a FEN, in one record kept for the tests.
inline Position& engine_position(const std::string& fen) {
    static std::unique_ptr<ThreadBoard> board = board_from(START_FEN);
    EXPECT_EQ(set_fen(board->pos, fen.c_str()), 0) << fen;
    return board->pos;
}
inline TbPosition tb_from_fen(const char* fen) { return tb_position_from(engine_position(fen), 0); }

struct Probe {
    int value, success;
    bool operator==(const Probe&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Probe& p) { return out << p.value << " (success " << p.success << ")"; }
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

struct Child {
    Move move;
    bool zeroing, mate;
    TbPosition pos;
};
// Every legal move of pos and the position after it.
inline std::vector<Child> children_of(Position& pos) {
    std::vector<Child> children;
    for (Move m : legal_moves(*pos.owner)) {
        const bool zeroing = pos.board[move_to(m)] || piece_type(pos.board[move_from(m)]) == PAWN;
        make_move(pos, m);
        const TbPosition after = tb_position_from(pos, 0);
        children.push_back({m, zeroing, tb_is_mate(after), after});
        unmake_move(pos);
    }
    return children;
}
