// The engine as a GUI sees it: the real binary behind a pipe.
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "test_support.h"

namespace {

// The lines appear in this order, other lines possibly between them.
bool in_order(const std::string& output, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines)
        if ((at = output.find(line + "\n", at)) == std::string::npos) return false;
    return true;
}

}  // namespace

// The listing in order (lines ending in a blank are prefixes: the author and
// the machine's own Elo vary); setoption's replies and limits; after one, the
// whole record (switches included) is what "uci" shows as defaults; unknown
// names, garbage and line ends of every kind give nothing but the answers.
TEST(UciProtocol, OptionListSetoptionAndDefaults) {
    EngineProcess engine({"-hash", "16", "-mpv", "3"});
    std::vector<std::string> lines = engine.ask("uci", "uciok");
    const std::string o = "option name ", spin = " type spin default ", text = " type string default ", check = " type check default ";
    const std::vector<std::string> expected = {
        "id name Quox 7.15", "id author ", o + "ConfigFilePath" + text, o + "Hash" + spin + "16 min 0 max 65536",
        o + "Threads" + spin + "1 min 1 max 512", o + "Clear Hash type button", o + "NN_File" + text + "embedded",
        o + "Use_NN_eval" + check + "true", o + "OwnBook" + check + "true", o + "OwnBook_File" + text + "quox_book.bin",
        o + "OwnBook_Depth" + spin + "30 min 0 max 100", o + "OwnBook2_File" + text,
        o + "OwnBook2_Depth" + spin + "0 min 0 max 100", o + "OwnBook_Variety" + spin + "25 min 0 max 100",
        o + "SyzygyPath" + text, o + "SyzygyProbeDepth6" + spin + "1 min -5 max 100", o + "Log" + check + "false",
        o + "Ponder" + check + "false", o + "MultiPV" + spin + "1 min 1 max 255", o + "UCI_Chess960" + check + "false",
        o + "MoveOverhead" + spin + "50 min 0 max 1000", o + "UCI_LimitStrength" + check + "false", o + "UCI_Elo" + spin,
        o + "UCI_Opponent" + text, o + "Contempt" + spin + "0 min -150 max 150", o + "Selectivity" + spin + "100 min 0 max 200", "uciok",
    };
    // Lines before "id name" (the greeting, calibration) are not part of the listing.
    lines.erase(lines.begin(), std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind("id name", 0) == 0; }));
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const bool prefix = expected[i].back() == ' ' && (i == 1 || contains(expected[i], "UCI_Elo"));
        EXPECT_EQ(prefix ? lines[i].substr(0, expected[i].size()) : lines[i], expected[i]);
    }
    const struct { std::string command, reply; } cases[] = {
        {"Contempt value -500", "Contempt set to -150"}, {"UCI_Opponent value GM 2800 human Someone", "opponent_elo set to 2800"},
        {"UCI_Opponent value none none computer X", "opponent_elo set to 0"}, {"SyzygyProbeDepth6 value 3", "SyzygyProbeDepth6 set to 3"},
        {"Threads value 0", "Threads set to 0"}, {"Ponder value true", "Ponder set to 1"}, {"UCI_Elo value 99999", "UCI_Elo set to 3300"},
        {"Target_NPS value 5", "Target_NPS set to 20"}, {"OwnBook_File value my book.bin", "OwnBook_File set to 'my book.bin'"},
        {"Clear Hash", "Hash table cleared"}, {"Selectivity value lots", "Selectivity set to 0"},
    };
    for (const auto& c : cases) EXPECT_EQ(engine.ask("setoption name " + c.command, "info string").back(), "info string " + c.reply);
    lines = engine.ask("uci", "uciok");
    for (const char* line : {"option name Contempt type spin default -150 min -150 max 150", "option name MultiPV type spin default 3 min 1 max 255"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    engine.send("setoption name NoSuchOption value 3\nsetoption\nsetoption value 3\r\n\n\r\nisready@isready\n");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("readyok", &seen) && engine.wait_for("readyok", &seen));
    EXPECT_EQ(seen.size(), 2u) << seen[0];
    engine.send_line("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
}

// Parameter files nest and ignore comments; the log is recreated and records
// output and commands; a written parameter file restores every option.
TEST(UciProtocol, ParameterFilesAndTheLog) {
    const std::string dir = make_scratch_dir("uci");
    write_file(dir + "/inner.cfg", "Contempt = 7\n");
    write_file(dir + "/outer.cfg", "# comment line\nno equals sign here\nHash = 256 # big table\nConfigFilePath = " + dir + "/inner.cfg\nMultiPV=4\n");
    write_file(dir + "/quox.log", "old contents\n");
    std::string out;
    EXPECT_EQ(run_engine({"-cfg", dir + "/outer.cfg", "-log"}, "isready\nquit\n", out, dir), 0);
    EXPECT_TRUE(in_order(out, {"info string loading parameters from " + dir + "/outer.cfg", "info string Hash set to 256",
                               "info string allocated 256 Mbytes for hash table", "info string ConfigFilePath set to '" + dir + "/inner.cfg'",
                               "info string loading parameters from " + dir + "/inner.cfg", "info string Contempt set to 7",
                               "info string MultiPV set to 4"})) << out;
    const std::string log = read_file(dir + "/quox.log");
    EXPECT_TRUE(!contains(log, "old contents") && contains(log, "CMD: isready\nreadyok\n") && contains(log, "CMD: quit\n")) << log;
    const std::vector<std::string> settings = {  // every option away from its default
        "Hash = 3", "Threads = 3", "MoveOverhead = 70", "Contempt = -12", "Selectivity = 120", "MultiPV = 4",
        "OwnBook_Variety = 60", "OwnBook_Depth = 12", "OwnBook2_Depth = 8", "UCI_Elo = 2100", "SyzygyProbeDepth6 = 9",
        "Use_NN_eval = false", "OwnBook = false", "UCI_LimitStrength = true", "UCI_Chess960 = true", "Log = true",
        "Ponder = true", "UCI_Opponent = none 2450", "OwnBook_File = first book.bin", "OwnBook2_File = b2.bin", "SyzygyPath = /no/tables"};
    std::string text;
    for (const std::string& line : settings) text += line + "\n";
    write_file(dir + "/start.cfg", text);
    run_tool({"-quiet", "-cfg", "start.cfg", "-mkconfig", "first.cfg"}, dir);
    run_tool({"-quiet", "-cfg", "first.cfg", "-mkconfig", "second.cfg"}, dir);
    const std::string first = read_file(dir + "/first.cfg");
    for (const std::string& line : settings) EXPECT_TRUE(contains(first, "\n" + line + "\n")) << line;
    EXPECT_EQ(read_file(dir + "/second.cfg"), first);
    EXPECT_EQ(run_tool({"-quiet", "-mkconfig", dir + "/no/such.cfg"}), "can't write " + dir + "/no/such.cfg\n");
    EXPECT_EQ(run_tool({"-nps", "1000000", "-quiet", "-mkconfig"}, dir), "Elo= 3349\nwrote parameters to quox.cfg\n");
    EXPECT_EQ(run_tool({"-nps", "10000", "-quiet", "-mkconfig", "other.cfg"}, dir), "Elo= 2728\nwrote parameters to other.cfg\n");
}

// Exit codes, the greeting, "eval" for the side to move, and a network file
// that cannot be opened, which ends the program cleanly.
TEST(UciProtocol, ExitCodesGreetingEvalAndAMissingNetworkFile) {
    std::string out;
    EXPECT_EQ(run_engine({"-hash"}, "", out), 1);
    EXPECT_TRUE(contains(out, "-hash needs 1 value"));
    EXPECT_FALSE(contains(run_tool({"-quiet"}), "Hello"));
    EXPECT_TRUE(contains(run_tool({"-noise", "0.5"}), "info string Hello from Quox 7.15"));
    EXPECT_EQ(run_engine({"-train", "x.bin", "5"}, "", out), 1);
    EXPECT_TRUE(contains(out, "Need to compile with 'make train_'"));
    EXPECT_EQ(run_engine({"-train", "x.bin", "0"}, "", out), 1);
    EXPECT_FALSE(contains(out, "Need to compile"));
    EXPECT_TRUE(contains(out, "-train needs a count of at least 1"));
    EngineProcess engine({"-quiet"});
    const std::vector<std::string> seen = engine.ask("position startpos moves e2e4\neval", "info string eval nne ");
    ASSERT_EQ(seen.rbegin()[1].rfind("info string eval hce ", 0), 0u);
    EXPECT_LT(std::stoi(seen.rbegin()[1].substr(21)), 0);  // Black to move after 1.e4
    EXPECT_LT(std::stoi(seen.back().substr(21)), 0);
    EXPECT_EQ(run_engine({"-quiet"}, "setoption name NN_File value /nonexistent/quox.net\nisready\n", out), 0);
    EXPECT_TRUE(contains(out, "info string NN_File set to '/nonexistent/quox.net'\ninfo string can't open /nonexistent/quox.net")) << out;
    EXPECT_FALSE(contains(out, "readyok"));
}

TEST(UciProtocol, IdleEngineUsesAlmostNoProcessor) {
    EngineProcess engine;
    engine.ask("isready", "readyok");
    auto cpu_ticks = [&] {
        std::ifstream stat("/proc/" + std::to_string(engine.pid()) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; i++) ticks += i >= 14 ? std::stol(field) : 0;
        return ticks;
    };
    const long before = cpu_ticks();
    sleep(2);
    EXPECT_LT(double(cpu_ticks() - before) / double(2 * sysconf(_SC_CLK_TCK)), 0.05);
}

// The tables are registered when SyzygyPath is set; "go searchmoves" restricts
// the root to the listed legal moves (also with MultiPV); unknown and illegal
// words are left out, and a list with no legal move leaves every move in. The
// black queen hangs: Qxd5 is the only good move.
TEST(UciProtocol, SyzygyPathAndSearchmoves) {
    const std::string tables = shared_path("syzygy");
    EngineProcess engine({"-tbx"});  // folders this machine does not have: nothing found
    EXPECT_EQ(line_starting(engine.ask("isready", "readyok"), "info string Found"), "info string Found 0 WDL, 0 DTM and 0 DTZ tablebase files. Largest 0-men");
    std::vector<std::string> lines = engine.ask("setoption name SyzygyPath value " + tables, "info string Found");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"info string SyzygyPath set to '" + tables + "'",
                                        "info string Found 51 WDL, 0 DTM and 47 DTZ tablebase files. Largest 5-men"}));
    EXPECT_EQ(engine.ask("setoption name SyzygyPath value <empty>\nisready", "readyok"),
              (std::vector<std::string>{"info string SyzygyPath set to '<empty>'", "readyok"}));
    auto best = [&](const std::string& go) { return engine.ask("position fen 4k3/8/8/3q4/8/8/8/3QK3 w - -\n" + go).back().substr(0, 13); };
    EXPECT_EQ(best("go depth 5"), "bestmove d1d5");
    EXPECT_EQ(best("go depth 5 searchmoves e1f1"), "bestmove e1f1");
    EXPECT_EQ(best("go searchmoves e1f2 e1e9 zz d1d2 depth 5"), "bestmove d1d2");
    EXPECT_EQ(best("go depth 5 searchmoves e1e3 h1h8"), "bestmove d1d5");
    engine.send_line("setoption name MultiPV value 2");
    lines = engine.ask("position fen 4k3/8/8/3q4/8/8/8/3QK3 w - -\ngo depth 4 searchmoves e1f1 d1d2");
    EXPECT_EQ(lines.back().substr(0, 13), "bestmove d1d2");
    int multipv = 0;
    for (const std::string& line : lines) {
        const size_t pv = line.find(" pv ");
        if (line.rfind("info multipv", 0) != 0 || pv == std::string::npos) continue;
        EXPECT_TRUE(line.substr(pv + 4, 4) == "e1f1" || line.substr(pv + 4, 4) == "d1d2") << line;
        multipv++;
    }
    EXPECT_GE(multipv, 8);
}

// A table that cannot be allocated is reported before the program ends: with
// exit code 1 at start-up, -1 when the Hash option asks for it during play.
TEST(UciProtocol, HashThatCannotBeAllocatedIsReported) {
#ifdef QUOX_SANITIZED
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    const std::string limited = "ulimit -v 1500000; exec " + engine_binary() + " -quiet ";
    std::string out;
    EXPECT_EQ(run_engine({"-c", limited + "-hash 4096"}, "", out, "", 30000, "/bin/sh"), 1);
    EXPECT_EQ(out, "info string can't allocate 4096 MB for the hash table\n");
    EXPECT_EQ(run_engine({"-c", limited}, "setoption name Hash value 2048\nisready\n", out, "", 30000, "/bin/sh"), 255);
    EXPECT_EQ(out.substr(out.find("info string Hash")), "info string Hash set to 2048\ninfo string can't allocate 2048 MB for the hash table\n");
}
