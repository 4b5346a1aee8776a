// The search's probe: castling rights, the six- and seven-man depth limits.
#include "table_files.h"
#include "tb_test_env.h"

TEST(SearchProbe, SkipsCastlingRightsAndShallowSixAndSevenMen) {
    use_tables();
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1"), 80), -1);
    Move move;
    int result;
    EXPECT_FALSE(tb_root_move(engine_position("4k3/8/8/8/8/8/8/R3K3 w Q - 12 1"), move, result));
    EXPECT_EQ(tb_probe_wdl(engine_position("4k3/8/8/8/8/8/8/R3K3 w - - 12 1"), 80), 4);

    std::string dir = make_scratch_dir("tb");
    write_uniform_table(dir, "KQRNvKB", 4, 0);
    write_uniform_table(dir, "KQRBNvKB", 4, 0);
    EXPECT_EQ(use_tables(dir), "info string Found 2 WDL, 0 DTM and 0 DTZ tablebase files. Largest 7-men\n");
    options.syzygy_probe_depth = 5;  // as "setoption name SyzygyProbeDepth6 value 5" sets them
    options.syzygy_probe_depth7 = 7;
    const char* six = "4k1b1/8/8/8/8/8/8/KQRN4 w - - 0 1";
    const char* seven = "4k1b1/8/8/8/8/8/8/KQRBN3 w - - 0 1";
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 4), -1);
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 5), 4);
    EXPECT_EQ(tb_probe_wdl(engine_position(six), 80), 4);
    EXPECT_EQ(tb_probe_wdl(engine_position("4k1b1/8/8/8/8/8/8/KQRN4 b - - 0 1"), 80), 0);
    EXPECT_EQ(tb_probe_wdl(engine_position(seven), 6), -1);
    EXPECT_EQ(tb_probe_wdl(engine_position(seven), 7), 4);
}
