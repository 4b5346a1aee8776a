// Finding the files along the path, the summary line, cut and damaged files,
// and several threads mapping tables at once.
#include <random>
#include <thread>

#include "table_files.h"
#include "tb_test_env.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

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
    std::string bytes = shared_table("KBvK.rtbw");
    bytes.resize(1000);
    write_file(a + "/KBvK.rtbw", bytes);
    write_file(a + "/KRvK.rtbz", shared_table("KRvK.rtbz").substr(0, 1000));
    std::string a_backslashed = a;
    std::replace(a_backslashed.begin(), a_backslashed.end(), '/', '\\');
    CaptureStderr();
    std::string out = use_tables(";" + a_backslashed + ";;" + b + ":");
    EXPECT_EQ(GetCapturedStderr(), "Incomplete tablebase file KRvK.rtbz\nIncomplete tablebase file KBvK.rtbw\n");
    EXPECT_EQ(out, "info string Incomplete tablebase file KRvK.rtbz\ninfo string Incomplete tablebase file KBvK.rtbw\n" +
                       summary(2, 1, 3));
    EXPECT_EQ(wdl_of(tb_from_fen(KRK)), (Probe{2, 1}));
    EXPECT_EQ(dtz_of(tb_from_fen(KRK)).success, 0);
    EXPECT_EQ(dtz_of(tb_from_fen(KQK)).success, 1);
}

TEST(Registry, DamagedFilesAreReportedOnceDroppedAndNeverReadOutside) {
    std::string good = shared_table("KQvK.rtbw"), wrong_magic = good, scrambled = good;
    wrong_magic[0] ^= 0x55;
    std::mt19937 rng(7);
    for (size_t i = 5; i < 64; i++) scrambled[i] = char(rng());
    for (const std::string& bytes : {good.substr(0, good.size() - 64), wrong_magic, scrambled}) {
        std::string dir = copy_tables({"KRvK.rtbw"}), spare = copy_tables({"KQvK.rtbw"});
        write_file(dir + "/KQvK.rtbw", bytes);
        use_tables(dir + ";" + spare);  // the first folder's copy is the one used
        CaptureStderr();
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success, 0);
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success, 0);
        EXPECT_EQ(wdl_of(tb_from_fen(KRK)).value, 2);
        EXPECT_EQ(GetCapturedStderr(), "Corrupted table.\nTablebase file KQvK.rtbw is not used.\n");
        use_tables(spare + ";" + dir);
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).value, 2);
    }
    // Random bytes anywhere: whatever the probes say stays in range, and no
    // read leaves the mapping (the sanitizer build checks that).
    const char* const fens[] = {"8/8/8/3k4/8/8/4P3/4K3 w - - 0 1", "8/8/8/3k4/8/2K5/4p3/7R b - - 0 1"};
    for (int round = 0; round < 24; round++) {
        std::string name = std::string(round % 2 ? "KRvKP" : "KPvK") + (round % 4 < 2 ? ".rtbw" : ".rtbz");
        std::string bytes = shared_table(name);
        for (int k = 0; k <= round % 3; k++) bytes[rng() % bytes.size()] = char(rng());
        std::string dir = copy_tables({"KQvK.rtbw", "KRvK.rtbw", "KPvK.rtbw", "KRvKP.rtbw"});
        write_file(dir + "/" + name, bytes);
        use_tables(dir);
        CaptureStderr();
        for (const char* fen : fens) {
            Probe w = wdl_of(tb_from_fen(fen)), d = dtz_of(tb_from_fen(fen));
            EXPECT_TRUE(w.success == 0 || std::abs(w.value) <= 2) << name;
            EXPECT_TRUE(d.success == 0 || std::abs(d.value) <= 1000) << name;
        }
        GetCapturedStderr();
    }
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
                size_t k = (i * 3 + t) % positions.size();
                faults[t] += !(dtz_of(positions[k]) == expected[k]) || expected[k].success == 0;
            }
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(faults, std::vector<int>(4, 0));
}
