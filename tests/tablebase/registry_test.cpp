// Finding the files along the path, the summary line, cut and damaged files,
// the search's probe limits, and several threads mapping tables at once.
#include <thread>

#include "tb_test_env.h"

namespace {

std::string summary(int wdl, int dtz, int men) {
    return "info string Found " + std::to_string(wdl) + " WDL, 0 DTM and " + std::to_string(dtz) +
           " DTZ tablebase files. Largest " + std::to_string(men) + "-men\n";
}

const char* const KQK = "8/8/8/8/8/2k5/Q7/4K3 w - - 0 1";
const char* const KRK = "8/8/8/8/8/2k5/R7/4K3 w - - 0 1";

}  // namespace

TEST(Registry, PathListSummaryAndCutFiles) {
    EXPECT_EQ(use_tables("<empty>"), "");
    EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success, 0);
    EXPECT_EQ(use_tables(), summary(51, 47, 5));
    EXPECT_EQ(use_tables(), summary(51, 47, 5));
    // ";" and ":" separate, empty parts are skipped, "\" reads as "/"; the
    // files cut short (length not 64 k + 16) are reported and left out.
    std::string a = copy_tables({"KQvK.rtbw", "KQvK.rtbz"}), b = copy_tables({"KRvK.rtbw"});
    write_file(a + "/KBvK.rtbw", (shared_table("KBvK.rtbw") + std::string(1000, 0)).substr(0, 1000));  // padded or cut
    write_file(a + "/KRvK.rtbz", shared_table("KRvK.rtbz").substr(0, 1000));
    std::replace(a.begin(), a.end(), '/', '\\');
    testing::internal::CaptureStderr();
    const std::string out = use_tables(";" + a + ";;" + b + ":");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Incomplete tablebase file KRvK.rtbz\nIncomplete tablebase file KBvK.rtbw\n");
    EXPECT_EQ(out, "info string Incomplete tablebase file KRvK.rtbz\ninfo string Incomplete tablebase file KBvK.rtbw\n" + summary(2, 1, 3));
    EXPECT_EQ(wdl_of(tb_from_fen(KRK)), (Probe{2, 1}));
    EXPECT_EQ(dtz_of(tb_from_fen(KRK)).success * 10 + dtz_of(tb_from_fen(KQK)).success, 1);
}

// A damaged file is reported once, dropped, and the next folder's copy is not
// used in its place; the other tables go on answering.
TEST(Registry, DamagedFilesAreReportedOnceAndDropped) {
    std::string good = shared_table("KQvK.rtbw"), wrong_magic = good, scrambled = good;
    wrong_magic[0] ^= 0x55;
    for (size_t i = 5; i < 64; i++) scrambled[i] = char(i * 37);
    for (const std::string& bytes : {good.substr(0, good.size() - 64), wrong_magic, scrambled}) {
        const std::string dir = copy_tables({"KRvK.rtbw"}), spare = copy_tables({"KQvK.rtbw"});
        write_file(dir + "/KQvK.rtbw", bytes);
        use_tables(dir + ";" + spare);  // the first folder's copy is the one used
        testing::internal::CaptureStderr();
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success + wdl_of(tb_from_fen(KQK)).success, 0);
        EXPECT_EQ(wdl_of(tb_from_fen(KRK)).value, 2);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\nTablebase file KQvK.rtbw is not used.\n");
        use_tables(spare + ";" + dir);
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).value, 2);
    }
}

// The search's probe skips castling rights and six and seven men above their depth limits.
TEST(Registry, SearchProbeLimits) {
    use_tables();
    Move move;
    int result;
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1"), 80), -1);
    EXPECT_FALSE(tb_root_move(engine_position("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1"), move, result));
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w - - 12 1"), 80), 4);
    const std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 0);
    write_uniform_table(dir, "KQRBNvKB", 4, 0);
    EXPECT_EQ(use_tables(dir), summary(2, 0, 7));
    options.syzygy_probe_depth = 5;  // as "setoption name SyzygyProbeDepth6 value 5" sets them
    options.syzygy_probe_depth7 = 7;
    const char *six = "4k1b1/8/8/8/8/8/8/KQRN4 w - - 0 1", *seven = "4k1b1/8/8/8/8/8/8/KQRBN3 w - - 0 1";
    const struct { const char* fen; int depth, value; } cases[] = {{six, 4, -1}, {six, 5, 4}, {six, 80, 4}, {"4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1", 80, 0},
                                                                   {seven, 6, -1}, {seven, 7, 4}};
    for (const auto& c : cases) EXPECT_EQ(tb_probe_wdl(engine_position(c.fen), c.depth), c.value) << c.fen << " " << c.depth;
}

// Four threads probe while no table is mapped yet; each gets the answers one thread gets.
TEST(Threads, TablebaseProbesWhileTablesMapLazily) {
    use_tables();
    std::vector<TbPosition> positions;
    for (const char* fen : {"8/8/8/8/8/2k5/Q7/4K3 b - - 0 1", "8/8/4k3/8/8/2r5/8/3QK2R w - - 0 1",
                            "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", "8/8/8/8/5Pp1/8/k5K1/8 b - f3 0 1",
                            "8/2b5/8/3k4/8/2K5/4P3/4B3 w - - 0 1", "8/8/8/2q5/3k4/8/1K2P3/7Q b - - 0 1",
                            "8/5b2/8/3k4/8/2K5/8/4BN2 w - - 0 1", "8/8/8/3k4/1r6/2K5/8/4RN2 b - - 0 1"})
        positions.push_back(tb_from_fen(fen));
    std::vector<Probe> expected;
    for (const TbPosition& p : positions) expected.push_back(dtz_of(p));
    use_tables();  // everything unmapped again
    std::vector<int> faults(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < 20 * positions.size(); i++) {
                const size_t k = (i * 3 + t) % positions.size();
                faults[t] += !(dtz_of(positions[k]) == expected[k]) || expected[k].success == 0;
            }
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(faults, std::vector<int>(4, 0));
}
