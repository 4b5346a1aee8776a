// Damaged files handed to the running engine: each is refused or read as far
// as it goes, and the engine goes on answering and searching.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, 0);
    for (char& c : bytes) c = char(rng());
    return bytes;
}

// A network header (twelve i16 and the i32 count) and no weights: its sizes
// ask for more than three thousand million weights.
std::string huge_network_header() {
    const int16_t values[12] = {806, 4096, 200, 2, 6, 0, 0, 32752, 32752, 32767, 32767, 0};
    std::string bytes(reinterpret_cast<const char*>(values), sizeof values);
    return bytes + std::string(4, '\xff');
}

// After each damaged file: still ready, and a search still ends in a move.
void expect_still_playing(EngineProcess& engine, const std::string& position, const std::string& after) {
    std::vector<std::string> seen;
    engine.send_line("isready");
    EXPECT_TRUE(engine.wait_for("readyok", &seen)) << after;
    engine.send_line("position " + position);
    engine.send_line("go depth 3");
    EXPECT_TRUE(engine.wait_for("bestmove", &seen, 30000)) << after;
    EXPECT_NE(seen.back(), "bestmove null") << after;
}

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines)
        if (line == wanted) return true;
    return false;
}

}  // namespace

TEST(DamagedFiles, EngineKeepsAnsweringAndSearching) {
    const std::string dir = make_scratch_dir("damaged");
    EngineProcess engine;
    std::vector<std::string> seen;
    engine.send_line("uci");
    ASSERT_TRUE(engine.wait_for("uciok"));

    // Networks: a header asking for gigabytes, random bytes.
    write_file(dir + "/huge.net", huge_network_header());
    write_file(dir + "/random.net", random_bytes(5000, 1));
    for (const char* name : {"huge.net", "random.net"}) {
        const std::string path = dir + "/" + name;
        engine.send_line("setoption name NN_File value " + path);
        engine.send_line("isready");
        seen.clear();
        ASSERT_TRUE(engine.wait_for("readyok", &seen)) << name;
        EXPECT_TRUE(has_line(seen, "info string " + path + " is incomplete, keeping the previous network") ||
                    has_line(seen, "info string " + path + " has an unsupported shape, keeping the previous network"))
            << name;
        expect_still_playing(engine, "startpos moves e2e4", name);
    }

    // A book of random bytes.
    write_file(dir + "/random.bin", random_bytes(16 * 1000 + 7, 2));
    engine.send_line("setoption name OwnBook value true");
    engine.send_line("setoption name OwnBook_File value " + dir + "/random.bin");
    expect_still_playing(engine, "startpos", "random book");

    // Table files cut short and overwritten in the middle.
    std::string cut = read_file(shared_path("syzygy/KRvK.rtbw")), scrambled = read_file(shared_path("syzygy/KQvK.rtbw"));
    cut.resize(cut.size() / 2);
    for (size_t i = 32; i < scrambled.size(); i += 3) scrambled[i] = char(scrambled[i] * 7 + 1);
    write_file(dir + "/KRvK.rtbw", cut);
    write_file(dir + "/KQvK.rtbw", scrambled);
    write_file(dir + "/KQvK.rtbz", random_bytes(64 * 4 + 16, 3));
    engine.send_line("setoption name SyzygyPath value " + dir);
    expect_still_playing(engine, "fen 8/8/8/8/8/2k5/R7/4K3 w - - 0 1", "cut KRvK table");
    expect_still_playing(engine, "fen 8/8/8/8/8/2k5/Q7/4K3 w - - 0 1", "scrambled KQvK tables");

    // A parameter file of garbage lines, one of them longer than the reader's line.
    write_file(dir + "/garbage.cfg", "= = =\nHash = lots\nThreads\n" + std::string(600, 'x') + " = 3\n" +
                                         random_bytes(300, 4) + "\nContempt = 7\n");
    engine.send_line("setoption name ConfigFilePath value " + dir + "/garbage.cfg");
    expect_still_playing(engine, "startpos", "garbage parameter file");
}

TEST(DamagedFiles, BookBuilderReadsBinaryNoiseToTheEnd) {
    const std::string dir = make_scratch_dir("noise");
    write_file(dir + "/noise.pgn", random_bytes(50000, 5));
    std::string out;
    EXPECT_EQ(run_engine({"-mkbook", "noise.pgn", "noise.bin"}, "", out, dir), 0);
    EXPECT_NE(out.find("\ndone\n"), std::string::npos) << out;
}
