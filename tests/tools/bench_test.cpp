// The benchmark is the engine's functional fingerprint: deterministic, and
// equal to the "Bench:" figure of the latest commit that changed it.

#include <regex>

#include "test_support.h"

namespace {

// The node count of the "total time= ..." line, found by its content; the
// summary lines come in the order total time, then average depth.
long long bench_nodes(const std::string& out, const std::string& depth = "\\d+\\.\\d") {
    std::smatch m;
    if (std::regex_search(out, m, std::regex("\ntotal time= [0-9.]+ seconds, nodes= (\\d+), nps= \\d+\navg depth= " + depth + " plies\n$")))
        return std::stoll(m[1]);
    ADD_FAILURE() << out;
    return -1;
}

// The output of a shell command run in the source tree.
std::string shell(const std::string& command) {
    std::string out;
    run_engine({"-c", command + " 2>/dev/null"}, "", out, QUOX_SOURCE_DIR, 60000, "/bin/sh");
    return out;
}

}  // namespace

TEST(Bench, DeterministicAndTheFingerprintOfTheLatestCommit) {
    EXPECT_EQ(bench_nodes(run_tool({"bench", "8"})), bench_nodes(run_tool({"bench", "8"})));
    const std::string threaded = run_tool({"-pbench", "-d", "5", "-threads", "3"});
    EXPECT_TRUE(contains(threaded, "Quox 7.15 running benchmark using 3 threads\npos  0:")) << threaded;
    EXPECT_GT(bench_nodes(threaded, "5\\.0"), 0);
    const std::string dirty = shell("git status --porcelain -- src"), log = shell("git log -n 200 --format=%B");
    std::smatch m;
    if (!dirty.empty() || !std::regex_search(log, m, std::regex("Bench: (\\d+)")))
        GTEST_SKIP() << "no committed fingerprint to compare with (uncommitted changes or no history)";
    EXPECT_EQ(bench_nodes(run_tool({"bench"})), std::stoll(m[1])) << "update the Bench: line of the commit message";
}
