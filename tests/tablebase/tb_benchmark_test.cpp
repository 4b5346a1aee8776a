// Probe speed, run by hand (it asserts nothing about time):
//   build/release/tests/test_tablebase --gtest_also_run_disabled_tests --gtest_filter='TbBenchmark.*'
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "tb_test_env.h"

TEST(TbBenchmark, DISABLED_WdlProbesColdAndWarm) {
    use_tables();
    std::mt19937 rng(3);
    std::vector<TbPosition> positions;  // KRPvKR with white to move
    while (positions.size() < 200000) {
        Bitboard men[5] = {}, used = 0;
        for (Bitboard& m : men) {
            do m = square_bb(int(rng() % 64));
            while ((m & used) || (&m == &men[2] && (m & (RANK_1 | RANK_8))));
            used |= m;
        }
        TbPosition p{men[0] | men[1] | men[2], men[3] | men[4], men[0] | men[3], 0, men[1] | men[4], 0, 0, men[2], 0, 0, 0};
        if (square_distance(lsb(men[0]), lsb(men[3])) > 1 && !tb_in_check(p)) {  // black, not to move, not in check
            p.turn = 1;
            positions.push_back(p);
        }
    }
    // Cold: the system forgets its cached pages, and the files are mapped anew.
    for (const char* f : {"KRPvKR", "KRvKR", "KRPvK", "KRvKP"}) {
        int fd = open(shared_path(std::string("syzygy/") + f + ".rtbw").c_str(), O_RDONLY);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
    use_tables();
    for (int pass = 0; pass < 3; pass++) {
        auto start = std::chrono::steady_clock::now();
        int answered = 0;
        for (const TbPosition& p : positions) answered += wdl_of(p).success != 0;
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("%s: %zu probes, %d answered, %.0f probes/s\n", pass ? "warm" : "cold (pages from the disk)",
               positions.size(), answered, double(positions.size()) / s);
    }
}
