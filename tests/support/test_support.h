// Helpers shared by the test suites: paths to the data and the binaries,
// files, positions, and EngineProcess, which runs the real binary behind pipes.
// Every test binary builds the board tables and keys, loads the default
// parameters and resets the settings before its first test.
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/thread_board.h"
#include "core/settings.h"
#include "search/tt.h"

std::string shared_path(const std::string& relative);  // ../shared/<relative>
std::string engine_binary();
std::string train_binary();  // the train build (make train), built with the tests

std::string read_file(const std::string& path);  // empty when missing
std::vector<std::string> read_lines(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);  // replaces the file
std::string make_scratch_dir(const std::string& tag);                // a new empty /tmp/quox-<tag>-XXXXXX
void load_network_file(const std::string& path);                     // through NN_File ("embedded" too), quietly

inline int sq(const char* name) { return parse_square(name); }
inline Bitboard bb(const char* name) { return square_bb(parse_square(name)); }
inline Move mv(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

// A fresh record holding fen (the test fails when set_fen refuses it).
std::unique_ptr<ThreadBoard> board_from(const std::string& fen);
// The legal moves of the side to move, in generation order (uses the current ply's list).
std::vector<Move> legal_moves(ThreadBoard& tb);
// FENs (four fields) of every position of `games` random legal games of up to
// `plies` plies, from the start position and, in turn, a few set-ups with
// castling rights and en-passant chances.
std::vector<std::string> random_game_fens(uint64_t seed, int games, int plies);
// Runs the staged picker to the end at `ply` (its check state found here):
// each move handed out with its score.
std::vector<std::pair<Move, int>> pick_all(ThreadBoard& tb, uint8_t gen_mode, Move hash = MOVE_NONE, int ply = 1);
// The settings of the search tests: defaults, quiet, a table of hash_mb megabytes.
inline void search_test_setup(int hash_mb = 1) {
    set_default_options();
    options.noise = 99999;
    options.hash_mb = hash_mb;
    tt_allocate();
}

// The engine as a child process: lines in, lines out, with timeouts so a
// hanging engine fails the test instead of blocking it.
class EngineProcess {
public:
    // binary: the program to run, the engine when empty.
    explicit EngineProcess(const std::vector<std::string>& args = {}, const std::string& workdir = "",
                           const std::string& binary = "");
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    void send(const std::string& text);  // raw bytes, no newline added
    void send_line(const std::string& line) { send(line + "\n"); }
    // Next output line, or false after timeout_ms or at end of output.
    bool read_line(std::string& line, int timeout_ms = 5000);
    // Reads lines until one starts with prefix; all lines read are appended to seen.
    bool wait_for(const std::string& prefix, std::vector<std::string>* seen = nullptr, int timeout_ms = 10000);
    // Sends the lines and returns the output up to the first line starting
    // with `until` (the test fails when none comes).
    std::vector<std::string> ask(const std::string& lines, const std::string& until = "bestmove",
                                 int timeout_ms = 60000);
    // Closes stdin and waits for the exit code (-1 on timeout, then kills).
    int wait_exit(int timeout_ms = 10000);
    void close_input();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_fd_ = -1, out_fd_ = -1;
    std::string buffer_;
    bool eof_ = false;
    int exit_code_ = -2;
};

// Runs the binary with arguments and stdin text; returns exit code, fills output.
int run_engine(const std::vector<std::string>& args, const std::string& input, std::string& output,
               const std::string& workdir = "", int timeout_ms = 60000, const std::string& binary = "");
// The output of a run in workdir that must end with exit code 0.
std::string run_tool(const std::vector<std::string>& args, const std::string& workdir = "");
bool contains(const std::string& text, const std::string& part);
// The first line starting with prefix, or "".
std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix);

// Tests of response times mean nothing in a sanitizer build (several times slower).
#ifdef QUOX_SANITIZED
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "timing test skipped in a sanitizer build"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif
