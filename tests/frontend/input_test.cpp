// The line reader: never blocks, one line per call, every line-end form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "frontend/input.h"

namespace {

struct PipeInput {
    int fds[2];
    PipeInput() {
        EXPECT_EQ(pipe(fds), 0);
        reset_input(fds[0]);
    }
    ~PipeInput() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
        reset_input(0);
    }
    void write_text(const std::string& text) { ASSERT_EQ(write(fds[1], text.data(), text.size()), ssize_t(text.size())); }
    void close_writer() {
        close(fds[1]);
        fds[1] = -1;
    }
    std::string next() {
        char line[INPUT_CAPACITY];
        return read_input_line(line, sizeof line) ? std::string(line) : std::string("<none>");
    }
    // A line that is waiting may need a few calls: each call reads once.
    std::string next_waiting() {
        std::string line;
        for (int i = 0; i < 20 && (line = next()) == "<none>"; i++) {}
        return line;
    }
};

}  // namespace

TEST(InputReader, NeverBlocksAndHandsOutOneLinePerCall) {
    PipeInput in;
    EXPECT_EQ(in.next(), "<none>");
    in.write_text("isre");
    EXPECT_EQ(in.next(), "<none>");  // a partial line waits for its end
    in.write_text("ady\r\ngo\n\n\nstop\rquit");
    in.write_text(std::string("a\0b@c\n", 6));
    for (const char* line : {"isready", "go", "stop", "quita", "b", "c", "<none>"}) EXPECT_EQ(in.next(), line);
    EXPECT_FALSE(input_exhausted());
}

TEST(InputReader, OverlongLinesAndTheEndOfInput) {
    PipeInput in;
    in.write_text(std::string(20000, 'x') + "\nisready\nposition startpos");
    const std::string first = in.next_waiting();
    EXPECT_EQ(first, std::string(INPUT_CAPACITY - 1, 'x'));
    const std::string second = in.next_waiting();
    EXPECT_EQ(second.size() < 20 ? second : "(long line)", "isready");
    in.close_writer();
    EXPECT_EQ(in.next_waiting(), "position startpos");  // the last line needs no line end
    EXPECT_EQ(in.next_waiting(), "<none>");
    EXPECT_TRUE(input_exhausted());
}
