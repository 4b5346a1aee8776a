// The engine as a GUI sees it: the real binary behind a pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(UciProtocol, IdentificationAndOptionListInOrder) {
    EngineProcess engine({"-hash", "16"});
    auto lines = transcript(engine, "uci\n", "uciok");
    std::vector<std::string> expected = {
        "id name Quox 7.15",
        "id author ",
        "option name ConfigFilePath type string default ",
        "option name Hash type spin default 16 min 0 max 65536",
        "option name Threads type spin default 1 min 1 max 512",
        "option name Clear Hash type button",
        "option name NN_File type string default embedded",
        "option name Use_NN_eval type check default true",
        "option name OwnBook type check default true",
        "option name OwnBook_File type string default quox_book.bin",
        "option name OwnBook_Depth type spin default 30 min 0 max 100",
        "option name OwnBook2_File type string default ",
        "option name OwnBook2_Depth type spin default 0 min 0 max 100",
        "option name OwnBook_Variety type spin default 25 min 0 max 100",
        "option name SyzygyPath type string default ",
        "option name SyzygyProbeDepth6 type spin default 1 min -5 max 100",
        "option name Log type check default false",
        "option name Ponder type check default false",
        "option name MultiPV type spin default 1 min 1 max 255",
        "option name UCI_Chess960 type check default false",
        "option name MoveOverhead type spin default 50 min 0 max 1000",
        "option name UCI_LimitStrength type check default false",
        "option name UCI_Elo type spin default ",
        "option name UCI_Opponent type string default ",
        "option name Contempt type spin default 0 min -150 max 150",
        "option name Selectivity type spin default 0 min 0 max 200",
        "uciok",
    };
    expected[expected.size() - 2] = "option name Selectivity type spin default 100 min 0 max 200";
    // Lines before "id name" (the greeting, calibration) are not part of the listing.
    while (!lines.empty() && lines.front().rfind("id name", 0) != 0) lines.erase(lines.begin());
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        if (expected[i] == "id author " || expected[i] == "option name UCI_Elo type spin default ")
            EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
        else
            EXPECT_EQ(lines[i], expected[i]);
    }
    EXPECT_EQ(engine.wait_exit(), 0);
}

TEST(UciProtocol, ReadyLineEndsAndQuit) {
    EngineProcess engine;
    std::vector<std::string> seen;
    engine.send("isready\r\nisready\n\n\r\nisready@");
    int ready = 0;
    for (int i = 0; i < 3 && engine.wait_for("readyok", &seen); i++) ready++;
    EXPECT_EQ(ready, 3);
    engine.send_line("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
}

TEST(UciProtocol, SetoptionRepliesAndLimits) {
    EngineProcess engine({"-quiet"});
    transcript(engine, "isready\n", "readyok");
    struct Case {
        std::string command, reply;
    } cases[] = {
        {"setoption name MultiPV value 0", "info string MultiPV set to 1"},
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
    for (const Case& c : cases) {
        auto lines = transcript(engine, c.command + "\n", "info string");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.reply) << c.command;
    }
    // After a setoption the whole record is the new default: MultiPV now shows 1, Contempt -150.
    auto listing = transcript(engine, "uci\n", "uciok");
    bool contempt = false;
    for (auto& l : listing) contempt |= l == "option name Contempt type spin default -150 min -150 max 150";
    EXPECT_TRUE(contempt);
    // Unknown names and garbage are ignored silently.
    engine.send("setoption name NoSuchOption value 3\nsetoption\nsetoption value 3\nisready\n");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("readyok", &seen));
    EXPECT_EQ(seen.size(), 1u) << seen[0];
}

TEST(UciProtocol, SwitchDefaultsAreNotShownUntilASetoption) {
    EngineProcess engine({"-mpv", "3"});
    auto listing = transcript(engine, "uci\n", "uciok");
    bool shows_one = false;
    for (auto& l : listing) shows_one |= l == "option name MultiPV type spin default 1 min 1 max 255";
    EXPECT_TRUE(shows_one);
    transcript(engine, "setoption name Contempt value 5\n", "info string");
    listing = transcript(engine, "uci\n", "uciok");
    bool shows_three = false;
    for (auto& l : listing) shows_three |= l == "option name MultiPV type spin default 3 min 1 max 255";
    EXPECT_TRUE(shows_three);
}

TEST(UciProtocol, ParameterFilesNestAndIgnoreComments) {
    std::string dir = make_scratch_dir("uci");
    {
        std::ofstream inner(dir + "/inner.cfg");
        inner << "Contempt = 7\n";
        std::ofstream outer(dir + "/outer.cfg");
        outer << "# comment line\nno equals sign here\nHash = 256 # big table\nConfigFilePath = " << dir
              << "/inner.cfg\nMultiPV=4\n";
    }
    std::string out;
    int code = run_engine({"-cfg", dir + "/outer.cfg"}, "quit\n", out);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(in_order(out, {"info string loading parameters from " + dir + "/outer.cfg",
                               "info string Hash set to 256", "info string allocated 256 Mbytes for hash table",
                               "info string ConfigFilePath set to '" + dir + "/inner.cfg'",
                               "info string loading parameters from " + dir + "/inner.cfg",
                               "info string Contempt set to 7", "info string MultiPV set to 4"}))
        << out;
}

TEST(UciProtocol, WrittenParameterFileRestoresEveryOption) {
    const std::string dir = temp_dir();
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

TEST(UciProtocol, LogFileRecordsOutputAndCommands) {
    std::string dir = make_scratch_dir("uci");
    { std::ofstream stale(dir + "/quox.log"); stale << "old contents\n"; }
    std::string out;
    EXPECT_EQ(run_engine({"-log"}, "isready\nquit\n", out, dir), 0);
    std::string log = read_file(dir + "/quox.log");
    EXPECT_EQ(log.find("old contents"), std::string::npos);
    EXPECT_NE(log.find("CMD: isready\nreadyok\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CMD: quit\n"), std::string::npos);
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
    const std::string dir = temp_dir();
    EXPECT_EQ(run_engine({"-nps", "1000000", "-quiet", "-mkconfig"}, "", out, dir), 0);
    EXPECT_EQ(out, "Elo= 3349\nwrote parameters to quox.cfg\n");
    EXPECT_EQ(run_engine({"-nps", "10000", "-quiet", "-mkconfig", "other.cfg"}, "", out, dir), 0);
    EXPECT_EQ(out, "Elo= 2728\nwrote parameters to other.cfg\n");
}

TEST(UciProtocol, RandomAndTruncatedLinesNeverBreakTheEngine) {
    EngineProcess engine;
    std::mt19937 rng(12345);
    const std::vector<std::string> words = {
        "uci", "isready", "setoption", "name", "value", "Hash", "Clear Hash", "position", "startpos", "fen",
        "moves", "e2e4", "e7e5", "g1f3", "e1g1", "a7a8q", "go", "depth", "nodes", "wtime", "btime", "winc",
        "movestogo", "ponder", "ponderhit", "stop", "ucinewgame", "debug", "-1", "99999999999999999999",
        "8/8/8/8/8/8/8/8", "w", "KQkq", "-", "rnbqkbnr/pppppppp", "\t", "@", "\r", "x",
    };
    std::string batch;
    for (int i = 0; i < 3000; i++) {
        std::string line;
        int n = int(rng() % 8);
        for (int k = 0; k < n; k++) line += words[rng() % words.size()] + (rng() % 4 ? " " : "");
        if (rng() % 5 == 0) line = line.substr(0, rng() % (line.size() + 1));
        if (rng() % 50 == 0) line += std::string(rng() % 9000, char('a' + rng() % 26));
        // "go" would start searching and "quit" would end the run: keep the engine idle.
        if (line.find("go") != std::string::npos || line.find("quit") != std::string::npos) continue;
        batch += line + "\n";
        if (batch.size() > 4096) {
            engine.send(batch);
            batch.clear();
        }
    }
    engine.send(batch + "isready\n");
    EXPECT_TRUE(engine.wait_for("readyok", nullptr, 60000));
    engine.send_line("position startpos moves e2e4");
    engine.send_line("isready");
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

TEST(UciProtocol, EvalReportsBothEvaluations) {
    EngineProcess engine({"-quiet"});
    engine.send_line("position startpos moves e2e4");
    engine.send_line("eval");
    std::vector<std::string> seen;
    ASSERT_TRUE(engine.wait_for("info string eval nne ", &seen));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2].rfind("info string eval hce ", 0), 0u);
    // Black to move after 1.e4: both scores are from Black's side, so below zero.
    EXPECT_LT(std::stoi(seen[seen.size() - 2].substr(21)), 0);
    EXPECT_LT(std::stoi(seen.back().substr(21)), 0);
}

TEST(UciProtocol, MissingNetworkFileEndsTheProgramCleanly) {
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
