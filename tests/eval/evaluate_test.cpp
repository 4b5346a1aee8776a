// The evaluation entry point around the evaluators: endgame rules, the cache,
// contempt, noise, the fifty-move scaling, with numbers worked out by hand.

#include <cstring>

#include "eval/params.h"
#include "eval_support.h"
#include "test_support.h"
#include "eval/nn/infer.h"
#include "search/state.h"

namespace {

int eval_of(const std::string& fen) { return EvalCase(fen).eval(); }

// Only stm_bonus left, at 100/100: the hand-crafted score is then exactly 100
// for the side to move whatever the phase (outside the scaled endings).
void only_stm_bonus() {
    for (int i = 0; i < param_count; i++) param_table[i].packed = 0, param_table[i].mg = param_table[i].eg = 0;
    EvalParam& bonus = param_table[eval_handles.stm_bonus - param_table];
    bonus = {make_score(100, 100), 100, 100, {}};
    strcpy(bonus.name, "stm_bonus");
}

}  // namespace

// The rules answered before any evaluator, with their worked numbers.
TEST(EvaluateRules, InCheckBareMinorsMopUpKbnkAndKpk) {
    init_eval_tests();
    EvalCase check("4k3/8/8/8/8/8/8/4K2R b K -");
    EXPECT_EQ(check.eval(5, 1), -3000);
    EXPECT_EQ(check.es->eval_calls, 1u);
    EXPECT_EQ(check.es->eval_ply, 5);
    const struct { const char* fen; int score; } cases[] = {
        // Bare kings, bishop against knight, two knights alone: draws; knight and bishop are not.
        {"4k3/8/8/8/8/8/8/4K3 w - -", 0}, {"4k3/8/3n4/8/8/8/2B5/4K3 w - -", 0},
        {"4k3/8/8/8/8/8/2N5/4K1N1 b - -", 0}, {"4k1n1/8/2n5/8/8/8/8/4K3 w - -", 0},
        // Mop-up: sWhite = 512 - 0 + (1000 - 16 x 4), sBlack = -16 x 6, wherever the queen stands.
        {"k7/8/8/8/4K3/8/8/3Q4 b - -", -1544}, {"k7/8/8/8/4K3/8/8/7Q w - -", 1544},
        // Rook and two pawns (the pawns do not count): 256 - 48 + (1000 - 16 x 7) against -96; clamped at 3000;
        // a black queen: -96 against 512 - 48 + (1000 - 16 x 7).
        {"r3k3/pp6/8/8/8/8/8/7K b - -", 1192}, {"k7/8/8/8/4K3/8/8/1QQQQ3 w - -", 3000}, {"3qk3/8/8/8/8/8/8/K7 w - -", -1448},
        // KBNK, light-squared bishop: 900 + ED(c3) 2 + ED(c2) 1 - 8 ED - 8 CN of the mirrored king - 8 d(c3, king).
        {"k7/8/8/8/8/2K5/2N1B3/8 b - -", -(900 + 2 + 1 - 0 - 0 - 40)},
        {"7k/8/8/8/8/2K5/2N1B3/8 w - -", 900 + 3 - 0 - 8 * 7 - 40},
        // KPK: 4 x rank + d(defender, queening square) - d(attacker, it), + 800 for a table win.
        {"k7/8/8/8/8/8/6P1/6K1 w - -", 4 * 1 + 6 - 7 + 800}, {"6k1/6p1/8/8/8/8/8/K7 b - -", 803},
        {"4k3/4P3/4K3/8/8/8/8/8 b - -", -22}, {"8/8/8/8/8/4k3/4p3/4K3 w - -", -22},  // stalemate: a draw
        {"k7/8/8/8/8/8/P7/K7 w - -", 4 * 1 + 0 - 7},                                 // the rook pawn's corner
    };
    for (auto [fen, score] : cases) EXPECT_EQ(eval_of(fen), score) << fen;
    EXPECT_GT(eval_of("7k/8/8/8/8/2K2N2/3B4/8 w - -"), eval_of("k7/8/8/8/8/2K2N2/3B4/8 w - -"));  // dark bishop: a1/h8
    EXPECT_NE(eval_of("4k3/8/8/8/8/8/2NB4/4K3 w - -"), 0);
}

TEST(EvaluateCache, HitsOnlyAbovePlyTwoAndPerSide) {
    init_eval_tests();
    EvalCase c("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    int first = c.eval(3);
    EXPECT_EQ(c.es->eval_hits, 0u);
    EXPECT_EQ(c.eval(3), first);
    EXPECT_EQ(c.es->eval_hits, 1u);
    c.eval(2);  // recomputed at the root plies
    EXPECT_EQ(c.es->eval_hits, 1u);
    // The other side to move has its own half of the cache.
    int other = evaluate(*c.es, c.tb->pos, BLACK, 3, 0);
    EXPECT_EQ(c.es->eval_hits, 1u);
    EXPECT_EQ(evaluate(*c.es, c.tb->pos, BLACK, 4, 0), other);
    EXPECT_EQ(c.es->eval_hits, 2u);
    EXPECT_EQ(c.es->eval_calls, 5u);
    // Rules are answered before the cache and never counted as hits.
    EvalCase kk("4k3/8/8/8/8/8/8/4K3 w - -");
    kk.eval(5);
    kk.eval(5);
    EXPECT_EQ(kk.es->eval_hits, 0u);
}

TEST(EvaluateAdjustments, FiftyMoveScalingAndNoise) {
    init_eval_tests();
    only_stm_bonus();
    EvalCase c(START_FEN);
    EXPECT_EQ(c.eval(), 100);
    for (auto [fifty, score] : {std::pair{100, 61}, std::pair{255, 1}}) {  // v - v x fifty / 256
        c.tb->pos.fifty = uint8_t(fifty);
        EXPECT_EQ(c.eval(), score);
    }
    c.tb->pos.fifty = 0;
    // Noise: (sign-extended seed XOR key) mod eval_noise - eval_noise / 2, the same for a position within a search.
    options.eval_noise = 99;
    eval_context.noise_seed = -12345;
    const int v = c.eval();
    EXPECT_EQ(v, 100 + int((uint64_t(int64_t(-12345)) ^ c.tb->pos.key) % 99) - 49);
    EXPECT_EQ(c.eval(), v);
    eval_context = {};
    init_eval_tests();
}

// Contempt = Contempt x phase / 8192 + slope x (phase - 4096) / 4096, for the
// root side and against the other; only once the game (not the evaluating
// thread's own line) is past its fourth ply, and never in analysis.
TEST(EvaluateAdjustments, ContemptByPhaseRootSideAndGamePlies) {
    init_eval_tests();
    only_stm_bonus();
    eval_context = {};
    eval_context.game_plies = 5;
    eval_context.root_side = WHITE;
    const char* rooks = "4k3/pp3r2/8/8/8/8/PP3R2/4K3 w - -";  // phase 2 x 550 + 2 x 400 = 1900
    const struct { const char* fen; int contempt, term; } cases[] = {
        {START_FEN, 0, 15},  {START_FEN, 40, 55},  // phase capped at 8192
        {rooks, 0, -8},      {rooks, 40, 1},       {rooks, -150, -42},  // -34 and 15 x -2196 / 4096 = -8
    };
    for (const auto& c : cases) {
        options.contempt = int16_t(c.contempt);
        EvalCase e(c.fen);
        EXPECT_EQ(e.eval(), 100 + c.term) << c.fen << " contempt " << c.contempt;
        e.tb->pos.side = BLACK;
        EXPECT_EQ(e.eval(), 100 - c.term) << c.fen << " contempt " << c.contempt;
    }

    // The game's ply count decides, whatever the evaluating record has played.
    options.contempt = 40;
    EvalCase helper(START_FEN);  // a helper's copy: no plies of its own
    eval_context.game_plies = 4;
    EXPECT_EQ(helper.eval(), 100);
    eval_context.game_plies = 5;
    EXPECT_EQ(helper.eval(), 155);
    eval_context.analysis = 1;
    EXPECT_EQ(helper.eval(), 100);
    eval_context = {};
    init_eval_tests();
}

// The network's score, corrected in two drawish endings: opposite-coloured
// bishops without rooks or queens lose a quarter, queen against rook half.
TEST(EvaluateNetwork, DrawishEndingCorrections) {
    init_eval_tests();
    load_network_file("embedded");
    options.use_nn = 1;
    eval_context = {};
    // '4': less a quarter, '2': halved, '-': the network's score as it is.
    const struct { const char* fen; char correction; } cases[] = {
        {"4k3/p3b3/8/8/8/8/P1B5/4K3 w - -", '4'},   // c2 light, e7 dark
        {"4k3/p3b3/8/8/8/8/P1B5/4K3 b - -", '4'},
        {"4k3/p3bn2/8/8/8/8/P1B5/4K3 w - -", '4'},  // a knight beside them changes nothing
        {"4k3/p2b4/8/8/8/8/P1B5/4K3 w - -", '-'},   // d7 is light too
        {"4k3/p3b3/8/8/8/8/P1B5/R3K3 w - -", '-'},  // a rook on the board
        {"3rk3/8/8/8/8/8/8/3QK3 w - -", '2'},
        {"3qk3/8/8/8/8/8/8/3RK3 w - -", '2'},
        {"3rk3/8/8/8/8/8/P7/3QK3 w - -", '-'},      // a pawn more: not the bare ending
    };
    for (const auto& c : cases) {
        EvalCase e(c.fen);
        const int v = nne_score(*e.es, e.tb->pos);
        EXPECT_NE(v, 0) << c.fen;
        EXPECT_EQ(e.eval(), c.correction == '4' ? v - v / 4 : c.correction == '2' ? v / 2 : v) << c.fen << " network " << v;
    }
    init_eval_tests();
}
