// Finding the files along the path, the summary line, cut and damaged files,
// and several threads mapping tables at once.
#include <random>
#include <thread>

#include "table_files.h"
#include "tb_test_env.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Sets the path and returns what the set-up printed.
std::string set_up(const std::string& path) {
    CaptureStdout();
    use_tables(path);
    return GetCapturedStdout();
}

std::string summary(int wdl, int dtz, int men) {
    return "info string Found " + std::to_string(wdl) + " WDL, 0 DTM and " + std::to_string(dtz) +
           " DTZ tablebase files. Largest " + std::to_string(men) + "-men\n";
}

const char* const KQK = "8/8/8/8/8/2k5/Q7/4K3 w - - 0 1";
const char* const KRK = "8/8/8/8/8/2k5/8/R3K3 w - - 0 1";

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

}  // namespace

TEST(Registry, PathListAndSummaryLine) {
    EXPECT_EQ(set_up("<empty>"), "");
    EXPECT_EQ(tb_max_men(), 0);
    EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success, 0);

    EXPECT_EQ(set_up(shared_path("syzygy")), summary(51, 47, 5));
    EXPECT_EQ(tb_max_men(), 5);
    EXPECT_EQ(set_up(shared_path("syzygy")), summary(51, 47, 5));

    // Separators ";" and ":", empty segments skipped, backslashes read as slashes.
    std::string a = copy_tables({"KQvK.rtbw", "KQvK.rtbz"}), b = copy_tables({"KRvK.rtbw"});
    std::string a_backslashed = a;
    for (char& c : a_backslashed)
        if (c == '/') c = '\\';
    EXPECT_EQ(set_up(";" + a_backslashed + ";;" + b + ":"), summary(2, 1, 3));
    EXPECT_EQ(wdl_of(tb_from_fen(KRK)).value, 2);
    EXPECT_EQ(dtz_of(tb_from_fen(KQK)).success, 1);
    EXPECT_EQ(dtz_of(tb_from_fen(KRK)).success, 0);
}

TEST(Registry, CutFilesAreReportedAndSkipped) {
    std::string dir = copy_tables({"KRvK.rtbw"});
    std::string grown = shared_table("KQvK.rtbw");
    grown.resize(1000);  // 1000 % 64 = 40: no whole file
    write_file(dir + "/KQvK.rtbw", grown);
    write_file(dir + "/KRvK.rtbz", shared_table("KRvK.rtbz").substr(0, 1000));
    CaptureStderr();
    std::string out = set_up(dir);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err, "Incomplete tablebase file KQvK.rtbw\nIncomplete tablebase file KRvK.rtbz\n");
    EXPECT_EQ(out, "info string Incomplete tablebase file KQvK.rtbw\ninfo string Incomplete tablebase file KRvK.rtbz\n" +
                       summary(1, 0, 3));
    EXPECT_EQ(wdl_of(tb_from_fen(KQK)).success, 0);
    EXPECT_EQ(wdl_of(tb_from_fen(KRK)).value, 2);
    EXPECT_EQ(dtz_of(tb_from_fen(KRK)).success, 0);
}

TEST(Registry, DamagedTablesAreReportedOnceAndDropped) {
    std::string good = shared_table("KQvK.rtbw");
    std::string wrong_magic = good, scrambled = good;
    wrong_magic[0] ^= 0x55;
    std::mt19937 rng(7);
    for (size_t i = 5; i < 64; i++) scrambled[i] = char(rng());
    const std::string damaged[] = {good.substr(0, good.size() - 64), wrong_magic, scrambled};
    for (const std::string& bytes : damaged) {
        std::string dir = copy_tables({"KRvK.rtbw"}), spare = copy_tables({"KQvK.rtbw"});
        write_file(dir + "/KQvK.rtbw", bytes);
        set_up(dir + ";" + spare);  // the first directory's copy is the one used
        CaptureStderr();
        Probe first = wdl_of(tb_from_fen(KQK)), again = wdl_of(tb_from_fen(KQK));
        Probe other = wdl_of(tb_from_fen(KRK));
        std::string err = GetCapturedStderr();
        EXPECT_EQ(first.success, 0);
        EXPECT_EQ(again.success, 0);
        EXPECT_EQ(other.value, 2);
        EXPECT_EQ(count_of(err, "Corrupted table.\n"), 1) << err;
        EXPECT_NE(err.find("KQvK.rtbw"), std::string::npos) << err;

        set_up(spare + ";" + dir);
        EXPECT_EQ(wdl_of(tb_from_fen(KQK)).value, 2);
    }
}

// Random bytes anywhere in a file: whatever the probes answer, they stay in
// range and never read outside the mapping (the sanitizer build checks that).
TEST(Registry, RandomDamageNeverEscapesTheMapping) {
    std::mt19937 rng(11);
    const char* const files[] = {"KPvK.rtbw", "KPvK.rtbz", "KRvKP.rtbw", "KRvKP.rtbz", "KBNvK.rtbw"};
    const char* const fens[] = {"8/8/8/3k4/8/8/4P3/4K3 w - - 0 1", "8/8/8/3k4/8/8/4P3/4K3 b - - 0 1",
                                "8/8/8/3k4/8/2K5/4p3/7R b - - 0 1", "8/8/8/3k4/8/2K5/4p3/7R w - - 0 1",
                                "8/8/8/3k4/8/2K5/8/5BN1 w - - 0 1"};
    for (int round = 0; round < 30; round++) {
        std::string name = files[round % 5];
        std::string bytes = shared_table(name);
        for (int k = 0; k < 1 + round % 4; k++) bytes[rng() % bytes.size()] = char(rng());
        std::string dir = copy_tables({"KQvK.rtbw", "KQvK.rtbz", "KRvK.rtbw", "KRvK.rtbz"});
        write_file(dir + "/" + name, bytes);
        set_up(dir);
        CaptureStderr();
        for (const char* fen : fens) {
            Probe w = wdl_of(tb_from_fen(fen)), d = dtz_of(tb_from_fen(fen));
            EXPECT_TRUE(w.success == 0 || (w.value >= -2 && w.value <= 2)) << name;
            EXPECT_TRUE(d.success == 0 || (d.value >= -1000 && d.value <= 1000)) << name;
        }
        GetCapturedStderr();
    }
}

// Several threads probe while every table is still unmapped; each must get
// the answers a single thread gets.
TEST(Threads, TablebaseProbesWhileTablesMapLazily) {
    const char* const fens[] = {"8/8/8/8/8/2k5/Q7/4K3 b - - 0 1",  "8/8/4k3/8/8/2r5/8/3QK2R w - - 0 1",
                                "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", "8/8/8/8/5Pp1/8/k5K1/8 b - f3 0 1",
                                "8/2b5/8/3k4/8/2K5/4P3/4B3 w - - 0 1", "8/8/8/2q5/3k4/8/1K2P3/7Q b - - 0 1",
                                "8/5b2/8/3k4/8/2K5/8/4BN2 w - - 0 1",  "8/8/8/3k4/1r6/2K5/8/4RN2 b - - 0 1"};
    std::vector<TbPosition> positions;
    for (const char* fen : fens) positions.push_back(tb_from_fen(fen));
    use_tables();
    std::vector<Probe> expected;
    for (const TbPosition& p : positions) {
        expected.push_back(dtz_of(p));
        EXPECT_NE(expected.back().success, 0);
    }
    use_tables();  // everything unmapped again

    std::vector<int> faults(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; round++)
                for (size_t i = 0; i < positions.size(); i++) {
                    size_t k = (i * 3 + size_t(t)) % positions.size();
                    Probe d = dtz_of(positions[k]);
                    faults[size_t(t)] += d.value != expected[k].value || d.success != expected[k].success;
                }
        });
    for (std::thread& th : threads) th.join();
    for (int f : faults) EXPECT_EQ(f, 0);
}
