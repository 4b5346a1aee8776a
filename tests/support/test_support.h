// Helpers shared by the test suites: paths to the data and the engine binary,
// and EngineProcess, which runs the real binary behind pipes.
#pragma once
#include <sys/types.h>

#include <cstdint>

#include <string>
#include <vector>

std::string shared_path(const std::string& relative);  // ../shared/<relative>
std::string engine_binary();
std::string train_binary();  // the train build (make train), built with the tests

// Reads a whole text file (empty when missing).
std::string read_file(const std::string& path);
std::vector<std::string> read_lines(const std::string& path);
// Writes bytes to a file (replacing it); false when it cannot be written.
bool write_file(const std::string& path, const std::string& bytes);
// A new empty directory /tmp/quox-<tag>-XXXXXX.
std::string make_scratch_dir(const std::string& tag);

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
    // Closes stdin and waits for the exit code (-1 on timeout, then kills).
    int wait_exit(int timeout_ms = 10000);
    void close_input();
    // Exit code if the process has ended (reaping it), else -2.
    int poll_exit();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_fd_ = -1, out_fd_ = -1;
    std::string buffer_;
    bool eof_ = false;
    int exit_code_ = -2;
};

// FENs (four fields) of every position of `games` random legal games of up to
// `plies` plies, from the start position and, in turn, a few set-ups with
// castling rights and en-passant chances (board tables built on first use).
std::vector<std::string> random_game_fens(uint64_t seed, int games, int plies);

// Runs the binary with arguments and stdin text; returns exit code, fills output.
int run_engine(const std::vector<std::string>& args, const std::string& input, std::string& output,
               const std::string& workdir = "", int timeout_ms = 60000, const std::string& binary = "");

// Tests of response times mean nothing in a sanitizer build (several times slower).
#ifdef QUOX_SANITIZED
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "timing test skipped in a sanitizer build"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif
