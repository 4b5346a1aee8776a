#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/movegen.h"
#include "board/movepick.h"
#include "core/settings.h"
#include "eval/nn/network.h"
#include "eval/params.h"

namespace {

struct EngineTables : testing::Environment {
    void SetUp() override {
        set_default_options();
        init_tables();
        init_kpk_table();
        init_keys();
        init_eval_params();
        load_param_text(default_param_text);
    }
};
[[maybe_unused]] testing::Environment* const engine_tables = testing::AddGlobalTestEnvironment(new EngineTables);

using Clock = std::chrono::steady_clock;
int ms_left(Clock::time_point deadline) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

}  // namespace

std::string shared_path(const std::string& relative) { return std::string(QUOX_SHARED_DIR) + "/" + relative; }
std::string engine_binary() { return QUOX_BINARY; }
std::string train_binary() { return QUOX_TRAIN_BINARY; }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool write_file(const std::string& path, const std::string& bytes) {
    return bool(std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes);
}

std::string make_scratch_dir(const std::string& tag) {
    std::string pattern = "/tmp/quox-" + tag + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    return made ? std::string(made) : std::string("/tmp");
}

void load_network_file(const std::string& path) {
    copy_text(options.nn_file, path.c_str());
    const float noise = options.noise;
    options.noise = 99999;
    load_network();
    options.noise = noise;
}

std::unique_ptr<ThreadBoard> board_from(const std::string& fen) {
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    EXPECT_EQ(set_fen(tb->pos, fen.c_str()), 0) << fen;
    return tb;
}

std::vector<Move> legal_moves(ThreadBoard& tb) {
    gen_all(tb.pos);
    std::vector<Move> moves;
    for (const MoveEntry* e = tb.current_ply().moves; e < tb.current_ply().listEnd; e++)
        if (is_legal(tb.pos, tb.pos.side, e->move)) moves.push_back(e->move);
    return moves;
}

std::vector<std::string> random_game_fens(uint64_t seed, int games, int plies) {
    static const char* const STARTS[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
        "r3k3/1p6/8/8/8/8/6P1/4K2R b Kq -",
    };
    std::mt19937_64 rng(seed);
    std::vector<std::string> fens;
    char fen[100];
    for (int g = 0; g < games; g++) {
        auto tb = board_from(STARTS[g % 4]);
        for (int ply = 0; ply < plies; ply++) {
            write_fen(tb->pos, fen, 0);
            fens.push_back(fen);
            tb->plyIndex = 1;
            const std::vector<Move> legal = legal_moves(*tb);
            if (legal.empty() || tb->pos.fifty >= 100) break;
            make_game_move(*tb, legal[rng() % legal.size()]);
        }
    }
    return fens;
}

std::vector<std::pair<Move, int>> pick_all(ThreadBoard& tb, uint8_t gen_mode, Move hash, int ply) {
    tb.plyIndex = int16_t(ply);
    PlyRecord& pr = tb.current_ply();
    const int c = tb.pos.side, checker = least_attacker(tb.pos, tb.pos.kingSq[c], c ^ 1, tb.pos.occupied());
    pr.captureTarget = uint8_t(checker);
    pr.inCheck = checker != NO_SQUARE;
    pr.hashMove = hash;
    pr.genMode = gen_mode;
    pr.stage = STAGE_START;
    pr.cursor = pr.moves;
    std::vector<std::pair<Move, int>> out;
    while (MoveEntry* e = next_move(tb.pos)) out.push_back({(pr.cursor = e)->move, e->score});
    return out;
}

EngineProcess::EngineProcess(const std::vector<std::string>& args, const std::string& workdir,
                             const std::string& program) {
    signal(SIGPIPE, SIG_IGN);
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[1]);
        close(from_child[0]);
        if (!workdir.empty() && chdir(workdir.c_str()) != 0) _exit(127);
        std::string binary = program.empty() ? engine_binary() : program;
        std::vector<std::string> copy = args;
        std::vector<char*> argv = {binary.data()};
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    in_fd_ = to_child[1];
    out_fd_ = from_child[0];
}

EngineProcess::~EngineProcess() {
    if (pid_ > 0 && exit_code_ == -2) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (in_fd_ >= 0) close(in_fd_);
    if (out_fd_ >= 0) close(out_fd_);
}

void EngineProcess::send(const std::string& text) {
    for (size_t done = 0; in_fd_ >= 0 && done < text.size();) {
        ssize_t n = write(in_fd_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += size_t(n);
    }
}

void EngineProcess::close_input() {
    if (in_fd_ >= 0) close(in_fd_);
    in_fd_ = -1;
}

bool EngineProcess::read_line(std::string& line, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        size_t nl = buffer_.find('\n');
        if (nl != std::string::npos || (eof_ && !buffer_.empty())) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl == std::string::npos ? nl : nl + 1);
            return true;
        }
        pollfd p{out_fd_, POLLIN, 0};
        if (eof_ || ms_left(deadline) <= 0 || poll(&p, 1, ms_left(deadline)) <= 0) return false;
        char chunk[65536];
        ssize_t n = read(out_fd_, chunk, sizeof chunk);
        if (n <= 0)
            eof_ = true;
        else
            buffer_.append(chunk, size_t(n));
    }
}

bool EngineProcess::wait_for(const std::string& prefix, std::vector<std::string>* seen, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (std::string line; ms_left(deadline) > 0 && read_line(line, ms_left(deadline));) {
        if (seen) seen->push_back(line);
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

std::vector<std::string> EngineProcess::ask(const std::string& lines, const std::string& until, int timeout_ms) {
    send(lines.empty() || lines.back() == '\n' ? lines : lines + "\n");
    std::vector<std::string> seen;
    EXPECT_TRUE(wait_for(until, &seen, timeout_ms)) << "no line starting with '" << until << "' after " << lines;
    return seen;
}

int EngineProcess::wait_exit(int timeout_ms) {
    close_input();
    if (exit_code_ != -2 || pid_ <= 0) return exit_code_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (std::string line; ms_left(deadline) > 0;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            return exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        read_line(line, 10);  // keeps draining output so the child never blocks on a full pipe
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    return exit_code_ = -1;
}

int run_engine(const std::vector<std::string>& args, const std::string& input, std::string& output,
               const std::string& workdir, int timeout_ms, const std::string& binary) {
    EngineProcess engine(args, workdir, binary);
    engine.send(input);
    engine.close_input();
    output.clear();
    for (std::string line; engine.read_line(line, timeout_ms);) output += line + "\n";
    return engine.wait_exit(1000);
}

std::string run_tool(const std::vector<std::string>& args, const std::string& workdir) {
    std::string out;
    EXPECT_EQ(run_engine(args, "", out, workdir), 0) << args[0] << "\n" << out;
    return out;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) return line;
    return "";
}
