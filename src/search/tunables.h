// Every number the search decides with, in one place. The depth limits and the
// Selectivity percentage that scale the margin and reduction tables are
// settings; the tables themselves are built per search (selectivity.h).
#pragma once

namespace tune {

// Scores.
constexpr int INFINITE_SCORE = 10001;   // window bounds; also "no evaluation"
constexpr int MATE = 10000;             // mate at ply p scores MATE - p
constexpr int MATE_BOUND = 7999;        // beyond: a mate score, returned unclamped
constexpr int TB_WIN_BOUND = 3000;      // tablebase wins and losses sit beyond this
constexpr int TB_EVAL_SHIFT = 3500;     // static evaluation moved by a known tablebase result
constexpr int TB_ROOT_WIN = 9800;       // a root won by the DTZ move, below every mate score
constexpr int NO_HASH_SCORE = -10001;

// Aspiration windows: delta = |p| / 16 + 20 below 1600, else 120; widened by half per failure.
constexpr int ASPIRATION_WIDE = 120;
constexpr int ASPIRATION_NARROW_LIMIT = 1600;
constexpr int ASPIRATION_BASE = 20;
constexpr int ASPIRATION_TRIES = 20;
constexpr float ASPIRATION_SLOW_NPS = 1500;  // a throttled search widens its early windows

// Node entry.
constexpr int IMPROVING_MARGIN = 25;
constexpr int NULL_MOVE_MARGIN = 14;       // eval must beat beta by this much
constexpr int NULL_MOVE_VERIFY_DEPTH = 5;  // deeper fail-highs are verified, at depth - 5
constexpr int THREAT_MARGIN = 24;          // a threat costs more than this below beta
constexpr int IID_REDUCTION = 3;
constexpr int IID_MIN_DEPTH = 4;

// Move loop.
constexpr int LMP_PASS_SCORE = 31;     // picker score above which a quiet move counts as promising
constexpr int LMP_TACTICAL_SCORE = 99;
constexpr int LMR_KEEP_TACTICAL = 149;
constexpr int LMP_GUARD = -9099;       // late-move pruning only once a move has a real score

// Quiescence.
constexpr int DELTA_MARGIN_DEEP = 500;  // razoring entries (positive depth)
constexpr int DELTA_MARGIN = 150;
constexpr int GAIN_CHECK = 3000;        // checks and captures of the last minor are never pruned
constexpr int GAIN_PAWN_ADVANCE = 1500;


}  // namespace tune
