// The engine as a GUI sees it: the real binary behind a pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> transcript(EngineProcess& engine, const std::string& input, const std::string& until) {
    engine.send(input);
    std::vector<std::string> seen;
    EXPECT_TRUE(engine.wait_for(until, &seen)) << "no line starting with " << until;
    return seen;
}

// The lines appear in this order, other lines possibly between them.
bool in_order(const std::string& output, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        at = output.find(line + "\n", at);
        if (at == std::string::npos) return false;
        at += line.size();
    }
    return true;
}

}  // namespace

// The listing in order; lines ending in a blank are prefixes (the author and
// the machine's own Elo vary).
TEST(UciProtocol, IdentificationAndOptionListInOrder) {
    EngineProcess engine({"-hash", "16"});
    auto lines = transcript(engine, "uci\n", "uciok");
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
        o + "UCI_Opponent" + text, o + "Contempt" + spin + "0 min -150 max 150",
        o + "Selectivity" + spin + "100 min 0 max 200", "uciok",
    };
    // Lines before "id name" (the greeting, calibration) are not part of the listing.
    while (!lines.empty() && lines.front().rfind("id name", 0) != 0) lines.erase(lines.begin());
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const bool prefix = expected[i].back() == ' ' && (i == 1 || expected[i].find("UCI_Elo") != std::string::npos);
        EXPECT_EQ(prefix ? lines[i].substr(0, expected[i].size()) : lines[i], expected[i]);
    }
    EXPECT_EQ(engine.wait_exit(), 0);
}

// Replies and limits of setoption; after one, the whole record (switches
// included) is what "uci" shows as defaults; unknown names are ignored.
TEST(UciProtocol, SetoptionRepliesLimitsAndDefaults) {
    EngineProcess engine({"-quiet", "-mpv", "3"});
    auto shows = [&](const std::string& line) {
        const auto listing = transcript(engine, "uci\n", "uciok");
        return std::find(listing.begin(), listing.end(), line) != listing.end();
    };
    EXPECT_TRUE(shows("option name MultiPV type spin default 1 min 1 max 255"));  // not the switch's 3
    const struct { std::string command, reply; } cases[] = {
        {"setoption name Contempt value -500", "info string Contempt set to -150"},
        {"setoption name UCI_Opponent value GM 2800 human Someone", "info string opponent_elo set to 2800"},
        {"setoption name UCI_Opponent value none none computer X", "info string opponent_elo set to 0"},
        {"setoption name SyzygyProbeDepth6 value 3", "info string SyzygyProbeDepth6 set to 3"},
        {"setoption name Threads value 0", "info string Threads set to 0"},
        {"setoption name Ponder value true", "info string Ponder set to 1"},
        {"setoption name UCI_Elo value 99999", "info string UCI_Elo set to 3300"},
        {"setoption name Target_NPS value 5", "info string Target_NPS set to 20"},
        {"setoption name OwnBook_File value my book.bin", "info string OwnBook_File set to 'my book.bin'"},
        {"setoption name Clear Hash", "info string Hash table cleared"},
        {"setoption name Selectivity value lots", "info string Selectivity set to 0"},
    };
    for (const auto& c : cases) {
        auto lines = transcript(engine, c.command + "\n", "info string");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.reply) << c.command;
    }
    EXPECT_TRUE(shows("option name Contempt type spin default -150 min -150 max 150"));
    EXPECT_TRUE(shows("option name MultiPV type spin default 3 min 1 max 255"));
    // Unknown names, garbage and line ends of every kind: nothing but the answers.
    engine.send("setoption name NoSuchOption value 3\nsetoption\nsetoption value 3\r\n\n\r\nisready@isready\n");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("readyok", &seen));
    ASSERT_TRUE(engine.wait_for("readyok", &seen));
    EXPECT_EQ(seen.size(), 2u) << seen[0];
    engine.send_line("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
}

// Parameter files nest and ignore comments; the log is recreated and records
// output and commands.
TEST(UciProtocol, ParameterFilesAndTheLog) {
    const std::string dir = make_scratch_dir("uci");
    std::ofstream(dir + "/inner.cfg") << "Contempt = 7\n";
    std::ofstream(dir + "/outer.cfg") << "# comment line\nno equals sign here\nHash = 256 # big table\nConfigFilePath = "
                                      << dir << "/inner.cfg\nMultiPV=4\n";
    std::ofstream(dir + "/quox.log") << "old contents\n";
    std::string out;
    EXPECT_EQ(run_engine({"-cfg", dir + "/outer.cfg", "-log"}, "isready\nquit\n", out, dir), 0);
    EXPECT_TRUE(in_order(out, {"info string loading parameters from " + dir + "/outer.cfg",
                               "info string Hash set to 256", "info string allocated 256 Mbytes for hash table",
                               "info string ConfigFilePath set to '" + dir + "/inner.cfg'",
                               "info string loading parameters from " + dir + "/inner.cfg",
                               "info string Contempt set to 7", "info string MultiPV set to 4"}))
        << out;
    const std::string log = read_file(dir + "/quox.log");
    EXPECT_EQ(log.find("old contents"), std::string::npos);
    EXPECT_NE(log.find("CMD: isready\nreadyok\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CMD: quit\n"), std::string::npos);
}

TEST(UciProtocol, WrittenParameterFileRestoresEveryOption) {
    const std::string dir = make_scratch_dir("uci");
    const std::vector<std::string> settings = {  // every option away from its default
        "Hash = 3", "Threads = 3", "MoveOverhead = 70", "Contempt = -12", "Selectivity = 120", "MultiPV = 4",
        "OwnBook_Variety = 60", "OwnBook_Depth = 12", "OwnBook2_Depth = 8", "UCI_Elo = 2100", "SyzygyProbeDepth6 = 9",
        "Use_NN_eval = false", "OwnBook = false", "UCI_LimitStrength = true", "UCI_Chess960 = true", "Log = true",
        "Ponder = true", "UCI_Opponent = none 2450", "OwnBook_File = first book.bin", "OwnBook2_File = b2.bin",
        "SyzygyPath = /no/tables"};
    std::string text, out;
    for (const std::string& line : settings) text += line + "\n";
    std::ofstream(dir + "/start.cfg") << text;
    ASSERT_EQ(run_engine({"-quiet", "-cfg", "start.cfg", "-mkconfig", "first.cfg"}, "", out, dir), 0);
    ASSERT_EQ(run_engine({"-quiet", "-cfg", "first.cfg", "-mkconfig", "second.cfg"}, "", out, dir), 0);
    const std::string first = read_file(dir + "/first.cfg");
    for (const std::string& line : settings) EXPECT_NE(first.find("\n" + line + "\n"), std::string::npos) << line;
    EXPECT_EQ(read_file(dir + "/second.cfg"), first);
    EXPECT_EQ(run_engine({"-quiet", "-mkconfig", dir + "/no/such.cfg"}, "", out), 0);
    EXPECT_EQ(out, "can't write " + dir + "/no/such.cfg\n");
}

TEST(UciProtocol, ExitCodesAndGreeting) {
    std::string out;
    EXPECT_EQ(run_engine({"-hash"}, "", out), 1);
    EXPECT_EQ(run_engine({"-quiet"}, "quit\n", out), 0);
    EXPECT_EQ(out.find("Hello"), std::string::npos);
    EXPECT_EQ(run_engine({"-noise", "0.5"}, "quit\n", out), 0);
    EXPECT_NE(out.find("info string Hello from Quox 7.15"), std::string::npos);
    EXPECT_EQ(run_engine({"-train", "x.bin", "5"}, "", out), 1);
    EXPECT_NE(out.find("Need to compile with 'make train_'"), std::string::npos);
    EXPECT_EQ(run_engine({"-train", "x.bin", "0"}, "", out), 1);
    EXPECT_EQ(out.find("Need to compile"), std::string::npos);
    const std::string dir = make_scratch_dir("uci");
    EXPECT_EQ(run_engine({"-nps", "1000000", "-quiet", "-mkconfig"}, "", out, dir), 0);
    EXPECT_EQ(out, "Elo= 3349\nwrote parameters to quox.cfg\n");
    EXPECT_EQ(run_engine({"-nps", "10000", "-quiet", "-mkconfig", "other.cfg"}, "", out, dir), 0);
    EXPECT_EQ(out, "Elo= 2728\nwrote parameters to other.cfg\n");
}

// Thousands of lines of protocol words in random order, cut short or overlong:
// the engine stays idle (no "go", no "quit") and answers afterwards.
TEST(UciProtocol, RandomAndTruncatedLinesNeverBreakTheEngine) {
    EngineProcess engine;
    std::mt19937 rng(12345);
    const std::vector<std::string> words = {
        "uci", "isready", "setoption", "name", "value", "Hash", "Clear Hash", "position", "startpos", "fen", "moves",
        "e2e4", "e7e5", "g1f3", "e1g1", "a7a8q", "go", "depth", "nodes", "wtime", "btime", "winc", "movestogo",
        "ponder", "ponderhit", "stop", "ucinewgame", "debug", "-1", "99999999999999999999", "8/8/8/8/8/8/8/8", "w",
        "KQkq", "-", "rnbqkbnr/pppppppp", "\t", "@", "\r", "x", "searchmoves", "mate"};
    std::string batch;
    for (int i = 0; i < 3000; i++) {
        std::string line;
        for (int k = int(rng() % 8); k > 0; k--) line += words[rng() % words.size()] + (rng() % 4 ? " " : "");
        if (rng() % 5 == 0) line = line.substr(0, rng() % (line.size() + 1));
        if (rng() % 50 == 0) line += std::string(rng() % 9000, char('a' + rng() % 26));
        if (line.find("go") == std::string::npos && line.find("quit") == std::string::npos) batch += line + "\n";
        if (batch.size() > 4096) engine.send(batch), batch.clear();
    }
    engine.send(batch + "isready\nposition startpos moves e2e4\nisready\n");
    EXPECT_TRUE(engine.wait_for("readyok", nullptr, 60000));
    EXPECT_TRUE(engine.wait_for("readyok"));
    engine.send_line("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
}

TEST(UciProtocol, IdleEngineUsesAlmostNoProcessor) {
    EngineProcess engine;
    engine.send_line("isready");
    ASSERT_TRUE(engine.wait_for("readyok"));
    auto cpu_ticks = [&] {
        std::ifstream stat("/proc/" + std::to_string(engine.pid()) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; i++)
            if (i == 14 || i == 15) ticks += std::stol(field);
        return ticks;
    };
    long before = cpu_ticks();
    sleep(2);
    long used = cpu_ticks() - before;
    long per_second = sysconf(_SC_CLK_TCK);
    EXPECT_LT(double(used) / double(2 * per_second), 0.05) << used << " ticks in 2 s";
}

// "eval" reports both evaluations for the side to move; a network file that
// cannot be opened ends the program cleanly.
TEST(UciProtocol, EvalAndAMissingNetworkFile) {
    EngineProcess engine({"-quiet"});
    engine.send_line("position startpos moves e2e4");
    engine.send_line("eval");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("info string eval nne ", &seen));
    ASSERT_GE(seen.size(), 2u);
    ASSERT_EQ(seen[seen.size() - 2].rfind("info string eval hce ", 0), 0u);
    EXPECT_LT(std::stoi(seen[seen.size() - 2].substr(21)), 0);  // Black to move after 1.e4
    EXPECT_LT(std::stoi(seen.back().substr(21)), 0);
    std::string out;
    EXPECT_EQ(run_engine({"-quiet"}, "setoption name NN_File value /nonexistent/quox.net\nisready\n", out), 0);
    EXPECT_NE(out.find("info string NN_File set to '/nonexistent/quox.net'\ninfo string can't open /nonexistent/quox.net"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("readyok"), std::string::npos);
}

TEST(UciProtocol, SyzygyPathOptionRegistersTheTables) {
    const std::string tables = shared_path("syzygy");
    EngineProcess engine({"-quiet", "-tbx"});  // folders this machine does not have: nothing found
    auto lines = transcript(engine, "isready\n", "readyok");
    EXPECT_EQ(lines.front(), "info string Found 0 WDL, 0 DTM and 0 DTZ tablebase files. Largest 0-men");
    lines = transcript(engine, "setoption name SyzygyPath value " + tables + "\n", "info string Found");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"info string SyzygyPath set to '" + tables + "'",
                                        "info string Found 51 WDL, 0 DTM and 47 DTZ tablebase files. Largest 5-men"}));
    lines = transcript(engine, "setoption name SyzygyPath value <empty>\nisready\n", "readyok");
    EXPECT_EQ(lines, (std::vector<std::string>{"info string SyzygyPath set to '<empty>'", "readyok"}));
}

// "go searchmoves" restricts the root to the listed legal moves (also with
// MultiPV); unknown and illegal words are left out, and a list with no legal
// move leaves every move in. The black queen hangs: Qxd5 is the only good move.
TEST(UciProtocol, SearchmovesRestrictsTheRootMoves) {
    EngineProcess engine;
    auto best = [&](const std::string& go, std::vector<std::string>* seen = nullptr) {
        engine.send_line("position fen 4k3/8/8/3q4/8/8/8/3QK3 w - -");
        engine.send_line(go);
        std::vector<std::string> lines;
        EXPECT_TRUE(engine.wait_for("bestmove", &lines, 30000)) << go;
        if (seen) *seen = lines;
        return lines.empty() ? "" : lines.back().substr(0, 13);
    };
    EXPECT_EQ(best("go depth 5"), "bestmove d1d5");
    EXPECT_EQ(best("go depth 5 searchmoves e1f1"), "bestmove e1f1");
    EXPECT_EQ(best("go searchmoves e1f2 e1e9 zz d1d2 depth 5"), "bestmove d1d2");
    EXPECT_EQ(best("go depth 5 searchmoves e1e3 h1h8"), "bestmove d1d5");
    engine.send_line("setoption name MultiPV value 2");
    std::vector<std::string> seen;
    EXPECT_EQ(best("go depth 4 searchmoves e1f1 d1d2", &seen), "bestmove d1d2");
    int lines = 0;
    for (const std::string& line : seen) {
        size_t pv = line.find(" pv ");
        if (line.rfind("info multipv", 0) != 0 || pv == std::string::npos) continue;
        EXPECT_TRUE(line.substr(pv + 4, 4) == "e1f1" || line.substr(pv + 4, 4) == "d1d2") << line;
        lines++;
    }
    EXPECT_GE(lines, 8);
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
    EXPECT_EQ(out.substr(out.find("info string Hash")),
              "info string Hash set to 2048\ninfo string can't allocate 2048 MB for the hash table\n");
}
