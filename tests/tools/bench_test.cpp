// The benchmark is the engine's functional fingerprint: deterministic, and
// equal to the "Bench:" figure of the latest commit that changed it.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "test_support.h"

namespace {

// The node count of the "total time= ..." line, found by its content; the
// summary lines come in the order total time, then average depth.
long long bench_nodes(const std::vector<std::string>& args) {
    std::string out;
    EXPECT_EQ(run_engine(args, "", out, "", 300000), 0);
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("\ntotal time= [0-9.]+ seconds, nodes= (\\d+), nps= \\d+\navg depth= "))) {
        ADD_FAILURE() << out;
        return -1;
    }
    return std::stoll(m[1]);
}

std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}

}  // namespace

TEST(Bench, FixedDepthSearchIsDeterministic) {
    EXPECT_EQ(bench_nodes({"bench", "8"}), bench_nodes({"bench", "8"}));
    std::string out;
    run_engine({"-pbench", "-d", "5", "-threads", "3"}, "", out);
    EXPECT_NE(out.find("Quox 7.15 running benchmark using 3 threads\npos  0:"), std::string::npos) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\ntotal time= [0-9.]+ seconds, nodes= \\d+, nps= \\d+\n"
                                                  "avg depth= 5.0 plies\n$")))
        << out;
}

TEST(Bench, MatchesTheFingerprintOfTheLatestCommit) {
    std::string dir = QUOX_SOURCE_DIR;
    std::string dirty = shell("cd " + dir + " && git status --porcelain -- src 2>/dev/null");
    std::string log = shell("cd " + dir + " && git log -n 200 --format=%B 2>/dev/null");
    std::smatch m;
    if (!dirty.empty() || !std::regex_search(log, m, std::regex("Bench: (\\d+)")))
        GTEST_SKIP() << "no committed fingerprint to compare with (uncommitted changes or no history)";
    EXPECT_EQ(bench_nodes({"bench"}), std::stoll(m[1])) << "update the Bench: line of the commit message";
}
