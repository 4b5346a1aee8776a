// The search's progress: time allocation for each kind of clock with the
// adjustments for the state of the search, the speed an Elo stands for, the
// format of the info lines (values worked out by hand), and the counters
// summed over the threads.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "search/game.h"
#include "search/output.h"
#include "search/state.h"
#include "search/strength.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "test_support.h"

namespace {

// A search that has just started, White to move with `clock` seconds.
struct ClockCase {
    explicit ClockCase(float clock, float increment = 0, int limit_mode = 0) {
        search_test_setup();
        init_thread_board(game);
        set_fen(game.pos, START_FEN);
        EXPECT_EQ(prepare_thread(0), 0);
        SearchState& s = search_state;
        s.clock[WHITE] = clock;
        s.search_flags.store(0);
        s.main_depth.store(0);
        s.stop_flag.store(0);
        s.root_tb_result = -1;
        s.single_reply = 0;
        s.best_score = 0;
        s.best_change_depth = 0;
        for (int16_t& score : s.score_by_depth) score = -10001;
        options.increment = increment;
        options.limit_mode = int16_t(limit_mode);
        options.uci_mode = 1;
        s.start_time = monotonic_seconds();
    }
    // The target once the main thread is at `depth` of a running search.
    float target_at(int depth) {
        search_state.search_flags.store(FLAG_SEARCH);
        search_state.main_depth.store(int8_t(depth));
        return target();
    }
    float target() {
        update_clock();
        return search_state.target_time.load();
    }
};

std::string printed(int line_index, int depth, int score, std::initializer_list<const char*> moves) {
    Move line[MAX_PLY + 2] = {};
    int i = 1;
    for (const char* m : moves) line[i++] = make_move_code(parse_square(m), parse_square(m + 2));
    testing::internal::CaptureStdout();
    format_info(0, line_index, depth, score, line);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(TimeAllocation, ShareOfTheClock) {
    // Sudden death: 1/29 of what is left; with Ponder a quarter more.
    ClockCase sudden(60);
    EXPECT_NEAR(sudden.target(), 60.0 / 29, 0.001);
    EXPECT_EQ(search_state.moves_to_go, 28);
    options.ponder = 1;
    EXPECT_NEAR(sudden.target(), 1.25 * 60 / 29, 0.001);
    // An increment adds inc x clock / (clock + 2 inc).
    ClockCase increment(60, 1);
    EXPECT_NEAR(increment.target(), 60.0 / 29 + 60.0 / 62, 0.001);
    // Moves to go from the GUI: 1 / (moves to go + 1).
    ClockCase to_go(60, 0, 40);
    search_state.moves_to_go = 9;
    EXPECT_NEAR(to_go.target(), 6.0, 0.001);
    // Console play, 40 moves per period, 10 plies played: 40 x (10 / 80 + 1) - 5 = 35 moves left.
    ClockCase console(60, 0, 40);
    options.uci_mode = 0;
    game.histIndex = 10;
    EXPECT_NEAR(console.target(), 60.0 / 36, 0.001);
    EXPECT_EQ(search_state.moves_to_go, 35);
    // A fixed time per move is the target as it is.
    ClockCase fixed(60, 0, 1);
    options.time_per_move = 5;
    EXPECT_FLOAT_EQ(fixed.target(), 5.0f);
    EXPECT_EQ(search_state.moves_to_go, 1);
}

TEST(TimeAllocation, AdjustmentsWhileTheSearchRuns) {
    const double base = 60.0 / 29, overhead = 0.05;
    ClockCase c(60);
    EXPECT_NEAR(c.target_at(1), base, 0.001);  // before depth 2: no overhead, no adjustment
    EXPECT_NEAR(c.target_at(2), base - overhead, 0.001);
    SearchThread& main = *search_threads[0];
    main.root_fail = 1;  // failing low
    EXPECT_NEAR(c.target_at(3), (1.0 / 29 + 0.2) * 60 - overhead, 0.001);
    main.root_fail = 2;  // failing high
    EXPECT_NEAR(c.target_at(3), (1.0 / 29 + 0.04) * 60 - overhead, 0.001);
    main.root_fail = 0;
    // A score 20 below both earlier iterations (|s| < 336: margin 20) is sinking.
    search_state.score_by_depth[3] = 20, search_state.score_by_depth[2] = 25;
    EXPECT_NEAR(c.target_at(4), (1.0 / 29 + 0.04) * 60 - overhead, 0.001);
    search_state.score_by_depth[3] = 19;
    EXPECT_NEAR(c.target_at(4), base - overhead, 0.001);
    // A best move that changed within the last two iterations, from depth 5 on.
    search_state.best_change_depth = 3;
    EXPECT_NEAR(c.target_at(5), (1.0 / 29 + 0.01) * 60 - overhead, 0.001);
    EXPECT_NEAR(c.target_at(4), base - overhead, 0.001);
    search_state.best_change_depth = 0;
    // A helper thread as deep as the published line that prefers another move by at least the margin.
    options.threads = 2;
    ASSERT_EQ(prepare_thread(1), 0);
    SearchThread& helper = *search_threads[1];
    search_state.best_depth = 3, search_state.best_line[1] = make_move_code(12, 28);
    helper.iteration_depth = 3, helper.best_move = make_move_code(11, 27), helper.best_score = 20;
    EXPECT_NEAR(c.target_at(3), (1.0 / 29 + 0.02) * 60 - overhead, 0.001);
    helper.best_score = 19;
    EXPECT_NEAR(c.target_at(3), base - overhead, 0.001);
    options.threads = 1;
    // A known tablebase result halves the time; the target never falls below 5 ms.
    search_state.root_tb_result = 2;
    EXPECT_NEAR(c.target_at(2), (base - overhead) / 2, 0.001);
    search_state.root_tb_result = -1;
    search_state.clock[WHITE] = 0.1f;
    search_state.start_time -= 0.01;
    EXPECT_FLOAT_EQ(c.target_at(2), 0.005f);
    EXPECT_NE(search_state.stop_flag.load(), 0);  // and the search stops on it
}

TEST(TimeAllocation, StopRules) {
    ClockCase single(60);
    search_state.single_reply = 1;
    single.target_at(5);
    EXPECT_EQ(search_state.stop_flag.load(), 0);
    single.target_at(6);  // a single reply is searched to depth 5
    EXPECT_NE(search_state.stop_flag.load(), 0);

    ClockCase fixed(60, 0.5f, 1);
    options.time_per_move = 0.2f;
    search_state.start_time -= 0.3;  // 0.3 s gone: below 0.2 + 0.5 x 60 / 61
    fixed.target_at(3);
    EXPECT_EQ(search_state.stop_flag.load(), 0);
    search_state.start_time -= 0.5;
    fixed.target_at(1);  // the first iteration always finishes
    EXPECT_EQ(search_state.stop_flag.load(), 0);
    fixed.target_at(2);
    EXPECT_NE(search_state.stop_flag.load(), 0);
}

TEST(Strength, EloTargetsFollowTheRatingCurve) {
    search_test_setup();
    options.limit_strength = 1;
    // Elo, machine speed -> target speed (0: the machine is not clearly faster and runs free)
    for (auto [elo, calibration, target] : {std::tuple{1500, 2e6f, 15.7f}, {2500, 2e6f, 2500.0f}, {3300, 2e6f, 649000.0f},
                                           {3300, 5e5f, 0.0f}}) {
        options.uci_elo = int16_t(elo);
        options.calibration_nps = calibration;
        setup_throttle();
        EXPECT_NEAR(search_state.throttle ? search_state.target_nps : 0, target, target / 200 + 0.2f) << elo;
    }
    options.limit_strength = 0;
    setup_throttle();
    EXPECT_EQ(search_state.throttle, 0);
}

TEST(InfoLines, ScoresNpsHashfullAndMultiPv) {
    search_test_setup();
    init_thread_board(game);
    set_fen(game.pos, START_FEN);
    options.uci_mode = 1;
    options.multipv = 1;
    SearchState& s = search_state;
    s.nodes = 3000000, s.tbhits = 7, s.seldepth = 12, s.hashfull = 0.3456f, s.elapsed = 1.5f;
    // nps = 3000000 / (1.5 + 0.002); seldepth is printed one less; hashfull in permille.
    EXPECT_EQ(printed(0, 9, 35, {"e2e4", "e7e5"}),
              "info depth 9 seldepth 11 score cp 35 time 1500 nodes 3000000 nps 1997337 tbhits 7 hashfull 346 "
              "pv e2e4 e7e5\n");
    const struct { int score; const char* text; } scores[] = {
        {9998, "mate 1"}, {9996, "mate 2"}, {-9997, "mate -1"}, {-9996, "mate -2"},
        {9899, "cp 9899"}, {9900, "mate 50"}, {-9899, "cp -9899"}, {-3000, "cp -3000"}};
    for (auto [score, text] : scores)
        EXPECT_NE(printed(0, 9, score, {"e2e4"}).find(std::string(" score ") + text + " time "), std::string::npos)
            << score;
    // Within 20 ms (elapsed + 2 ms) no speed is claimed.
    for (auto [elapsed, nps] : {std::pair{0.018f, " nps 0 "}, std::pair{0.0185f, " nps 146341462 "}}) {
        s.elapsed = elapsed;
        EXPECT_NE(printed(0, 9, 0, {"e2e4"}).find(nps), std::string::npos) << elapsed;
    }
    options.multipv = 3;
    EXPECT_EQ(printed(2, 4, -5, {"d2d4"}).rfind("info multipv 2 depth 4 seldepth 11 score cp -5 ", 0), 0u);
    options.multipv = 1;

    // emit_info: hashfull only from depth 7 on; nothing for depth 0, an empty line, or a silenced search.
    Move line[MAX_PLY + 2] = {0, make_move_code(parse_square("e2"), parse_square("e4"))};
    s.stop_flag.store(1);
    options.noise = 0;
    auto emitted = [&](int depth, const Move* pv) {
        s.hashfull = 0.5f;
        testing::internal::CaptureStdout();
        emit_info(0, 0, depth, 10, pv);
        return testing::internal::GetCapturedStdout();
    };
    EXPECT_NE(emitted(6, line).find(" hashfull 0 "), std::string::npos);
    EXPECT_NE(emitted(7, line).find(" hashfull "), std::string::npos);
    EXPECT_EQ(emitted(0, line), "");
    Move empty[MAX_PLY + 2] = {};
    EXPECT_EQ(emitted(7, empty), "");
    options.noise = 99999;
    EXPECT_EQ(emitted(7, line), "");

    // Console rows: thread, depth, the marker of a MultiPV line, seconds, kilonodes, score, moves;
    // an empty line after the last line of an iteration.
    options.uci_mode = 0;
    s.elapsed = 2.25f, s.nodes = 123456;
    EXPECT_EQ(printed(1, 12, -40, {"g1f3"}), "00] 12.   2.2     123K   -40  g1f3\n\n");
    options.uci_mode = 1;
}

// Every counter of every thread that reached depth 2 goes into the totals,
// the evaluation's and pawn cache's included, and a new search starts them afresh.
TEST(SearchCounters, TotalsAddUpEveryCounterOfEveryThread) {
    search_test_setup(4);
    options.use_nn = 0;
    options.threads = 2;
    options.limit_mode = 1;
    options.time_per_move = 1000;
    init_thread_board(game);
    set_fen(game.pos, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    uint64_t first_pawn_probes = 0;
    for (int depth : {9, 3}) {
        options.depth_limit = int16_t(depth);
        search_start(FLAG_ANALYSE, 1);
        search_state.search_flags.store(0);
        sum_counters();
        std::array<uint64_t, COUNTERS> expected = {};
        for (int i = 0; i < 2; i++)
            if (search_threads[i]->iteration_depth >= 2)
                for (int k = 0; k < COUNTERS; k++) expected[k] += *thread_counters(*search_threads[i])[k];
        std::array<uint64_t*, COUNTERS> totals = search_totals(search_state);
        for (int k = 0; k < COUNTERS; k++) EXPECT_EQ(*totals[k], expected[k]) << "counter " << k;
        for (int k : {0, 2, 3, 4, 5, 6, 7}) EXPECT_GT(*totals[k], 0u) << "counter " << k << " at depth " << depth;
        if (depth == 9) first_pawn_probes = search_state.pawn_probes;
    }
    EXPECT_LT(search_state.pawn_probes, first_pawn_probes / 4);
    options.threads = 1;
}
