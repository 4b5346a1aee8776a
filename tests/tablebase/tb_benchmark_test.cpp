// Probe speed, run by hand (it asserts nothing about time):
//   build/release/tests/test_tablebase --gtest_also_run_disabled_tests --gtest_filter='TbBenchmark.*'
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "tb_test_env.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Random legal KRPvKR positions with white to move, as the prober sees them.
std::vector<TbPosition> random_positions(int count) {
    std::mt19937 rng(3);
    std::vector<TbPosition> out;
    while (int(out.size()) < count) {
        int sq[5];
        uint64_t used = 0;
        for (int i = 0; i < 5; i++) {
            do sq[i] = int(rng() % 64);
            while ((used & square_bb(sq[i])) || (i == 2 && (sq[i] < 8 || sq[i] >= 56)));
            used |= square_bb(sq[i]);
        }
        TbPosition p{};
        p.white = square_bb(sq[0]) | square_bb(sq[1]) | square_bb(sq[2]);
        p.black = square_bb(sq[3]) | square_bb(sq[4]);
        p.kings = square_bb(sq[0]) | square_bb(sq[3]);
        p.rooks = square_bb(sq[1]) | square_bb(sq[4]);
        p.pawns = square_bb(sq[2]);
        p.turn = 1;
        TbPosition flipped = p;
        flipped.turn = 0;
        if (square_distance(sq[0], sq[3]) > 1 && !tb_in_check(flipped)) out.push_back(p);
    }
    return out;
}

// Asks the system to forget its cached pages of a file, so that the next
// reads come from the disk.
void evict(const std::string& file) {
    int fd = open(shared_path("syzygy/" + file).c_str(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

}  // namespace

TEST(TbBenchmark, DISABLED_WdlProbesColdAndWarm) {
    use_tables();
    std::vector<TbPosition> positions = random_positions(200000);
    for (const char* f : {"KRPvKR.rtbw", "KRvKR.rtbw", "KRPvKR.rtbz", "KRPvK.rtbw", "KRvKP.rtbw", "KPvKR.rtbw"}) evict(f);
    use_tables();  // nothing mapped yet
    int success;
    auto start = std::chrono::steady_clock::now();
    tb_probe_wdl_full(positions[0], success);
    printf("first KRPvKR probe (mapping, decoding data): %.2f ms\n", seconds_since(start) * 1000);
    for (int pass = 0; pass < 3; pass++) {
        start = std::chrono::steady_clock::now();
        int found = 0;
        for (const TbPosition& p : positions) {
            tb_probe_wdl_full(p, success);
            found += success != 0;
        }
        double s = seconds_since(start);
        printf("pass %d (%s): %zu WDL probes, %d answered, %.0f probes/s\n", pass + 1, pass ? "warm" : "cold: pages from the disk",
               positions.size(), found, double(positions.size()) / s);
    }
}
