// Damaged files handed to the running engine: each is refused or read as far
// as it goes, and the engine goes on answering and searching.

#include <random>

#include "test_support.h"

namespace {

std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, 0);
    for (char& c : bytes) c = char(rng());
    return bytes;
}

// After each damaged file: still ready, and a search still ends in a move;
// the lines of both answers.
std::vector<std::string> still_playing(EngineProcess& engine, const std::string& position, const std::string& after) {
    std::vector<std::string> seen = engine.ask("isready", "readyok");
    for (const std::string& line : engine.ask("position " + position + "\ngo depth 3", "bestmove", 30000)) seen.push_back(line);
    EXPECT_NE(seen.back(), "bestmove null") << after;
    return seen;
}

}  // namespace

TEST(DamagedFiles, EngineKeepsAnsweringAndSearching) {
    const std::string dir = make_scratch_dir("damaged");
    EngineProcess engine;
    engine.ask("uci", "uciok");
    // Networks: a header (twelve i16 and the i32 count) whose sizes ask for
    // more than three thousand million weights, and random bytes.
    const int16_t huge[12] = {806, 4096, 200, 2, 6, 0, 0, 32752, 32752, 32767, 32767, 0};
    write_file(dir + "/huge.net", std::string(reinterpret_cast<const char*>(huge), sizeof huge) + std::string(4, '\xff'));
    write_file(dir + "/random.net", random_bytes(5000, 1));
    for (const char* name : {"huge.net", "random.net"}) {
        const std::string path = dir + "/" + name;
        engine.send_line("setoption name NN_File value " + path);
        const std::vector<std::string> seen = still_playing(engine, "startpos moves e2e4", name);
        EXPECT_TRUE(std::count(seen.begin(), seen.end(), "info string " + path + " is incomplete, keeping the previous network") +
                    std::count(seen.begin(), seen.end(), "info string " + path + " has an unsupported shape, keeping the previous network")) << name;
    }
    // A book of random bytes.
    write_file(dir + "/random.bin", random_bytes(16 * 1000 + 7, 2));
    engine.send_line("setoption name OwnBook value true\nsetoption name OwnBook_File value " + dir + "/random.bin");
    still_playing(engine, "startpos", "random book");
    // Table files cut short and overwritten in the middle: no result from them, a search instead.
    std::string cut = read_file(shared_path("syzygy/KRvK.rtbw")), scrambled = read_file(shared_path("syzygy/KQvK.rtbw"));
    cut.resize(cut.size() / 2);
    for (size_t i = 32; i < scrambled.size(); i += 3) scrambled[i] = char(scrambled[i] * 7 + 1);
    write_file(dir + "/KRvK.rtbw", cut);
    write_file(dir + "/KQvK.rtbw", scrambled);
    write_file(dir + "/KQvK.rtbz", random_bytes(64 * 4 + 16, 3));
    engine.send_line("setoption name SyzygyPath value " + dir);
    for (const char* fen : {"fen 8/8/8/8/8/2k5/R7/4K3 w - - 12 1", "fen 8/8/8/8/8/2k5/Q7/4K3 w - - 12 1"}) {
        const std::vector<std::string> seen = still_playing(engine, fen, fen);
        EXPECT_TRUE(line_starting(seen, "info string TB result").empty() && !line_starting(seen, "info depth 3 ").empty()) << fen;
    }
    // A parameter file of garbage lines, one of them longer than the reader's line.
    write_file(dir + "/garbage.cfg", "= = =\nHash = lots\nThreads\n" + std::string(600, 'x') + " = 3\n" + random_bytes(300, 4) + "\nContempt = 7\n");
    engine.send_line("setoption name ConfigFilePath value " + dir + "/garbage.cfg");
    still_playing(engine, "startpos", "garbage parameter file");
    // The book builder reads binary noise to the end.
    write_file(dir + "/noise.pgn", random_bytes(50000, 5));
    EXPECT_TRUE(contains(run_tool({"-mkbook", "noise.pgn", "noise.bin"}, dir), "\ndone\n"));
}
