// The line reader: never blocks, one line per call, every line-end form,
// overlong lines and the end of input.
#include <gtest/gtest.h>
#include <unistd.h>

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
    // A line that is waiting may need a few calls: each call reads once.
    std::string next(int tries = 1) {
        char line[INPUT_CAPACITY];
        for (int i = 0; i < tries; i++)
            if (read_input_line(line, sizeof line)) return line;
        return "<none>";
    }
};

}  // namespace

TEST(InputReader, OneLinePerCallWithoutBlocking) {
    PipeInput in;
    EXPECT_EQ(in.next(), "<none>");
    in.write_text("isre");
    EXPECT_EQ(in.next(), "<none>");  // a partial line waits for its end
    in.write_text("ady\r\ngo\n\n\nstop\rquit");
    in.write_text(std::string("a\0b@c\n", 6));
    for (const char* line : {"isready", "go", "stop", "quita", "b", "c", "<none>"}) EXPECT_EQ(in.next(), line);
    EXPECT_FALSE(input_exhausted());
    in.write_text(std::string(20000, 'x') + "\nisready\nposition startpos");
    EXPECT_EQ(in.next(20), std::string(INPUT_CAPACITY - 1, 'x'));
    const std::string second = in.next(20);
    EXPECT_EQ(second.size() < 20 ? second : "(long line)", "isready");
    close(in.fds[1]);
    in.fds[1] = -1;
    EXPECT_EQ(in.next(20), "position startpos");  // the last line needs no line end
    EXPECT_EQ(in.next(20), "<none>");
    EXPECT_TRUE(input_exhausted());
}
