// Evaluation speed, run by hand (it asserts nothing about time):
//   build/release/tests/test_eval --gtest_also_run_disabled_tests --gtest_filter='NnBenchmark.*'
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "eval/nn/infer.h"
#include "nn_helpers.h"

namespace {

using Evaluator = int (*)(NNState&, const Position&);

// ns per call, alternating between two positions; ply 1 forces the rebuild.
double time_calls(Evaluator eval, const Position& a, const Position& b, int ply, int calls) {
    NNState st{};
    st.eval_ply = int16_t(ply);
    volatile int sink = eval(st, a);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i += 2) {
        sink = eval(st, b);
        sink = eval(st, a);
    }
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    (void)sink;
    nn_state_free(st);
    return ns / calls;
}

void report(const char* name) {
    // Two knights out: two pieces changed per evaluation, four rows per accumulator.
    const Position a = placement_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE);
    const Position b = placement_position("r1bqkbnr/pppppppp/2n5/8/8/5N2/PPPPPPPP/RNBQKB1R", WHITE);
    const struct { const char* path; Evaluator eval; } paths[] = {{"vector", nn_evaluate}, {"scalar", nn_evaluate_scalar}};
    for (auto& p : paths)
        printf("%-22s H=%4d %s: update %7.1f ns, rebuild %7.1f ns\n", name, network.acc_size_white(), p.path,
               time_calls(p.eval, a, b, 5, 400000), time_calls(p.eval, a, b, 1, 100000));
}

}  // namespace

TEST(NnBenchmark, DISABLED_EvaluationSpeed) {
    install_random_network(DEFAULT_NETWORK_HEADER, 1);
    report("full size (random)");
    install_embedded_network();
    report("embedded network");
    install_random_network(shaped_header(1280, 0, 32), 2);
    report("full size + hidden 32");
}
