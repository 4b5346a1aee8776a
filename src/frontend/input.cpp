#include "frontend/input.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>

#include "core/io.h"

namespace {

constexpr char SEPARATOR = '@';
constexpr size_t READ_CHUNK = 4998;

struct Reader {
    int fd = 0;
    char pending[INPUT_CAPACITY];
    size_t length = 0;
    bool at_end = false;
    bool hung_up = false;  // the terminal closed or reading failed
    int terminal = -1;     // whether fd is a terminal, asked while it still is one
    bool skipping = false;  // dropping the tail of a line longer than the buffer
};
Reader reader;

bool is_separator(char c) { return c == 0 || c == '\n' || c == '\r' || c == SEPARATOR; }

// Appends whatever is waiting, never more than fits: text left in the pipe
// simply waits for the next call.
void fill_pending() {
    if (reader.at_end) return;
    if (reader.terminal < 0) reader.terminal = isatty(reader.fd);
    size_t room = sizeof reader.pending - 1 - reader.length;
    if (room == 0) return;
    pollfd p{reader.fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
    char chunk[READ_CHUNK];
    ssize_t n = read(reader.fd, chunk, room < READ_CHUNK ? room : READ_CHUNK);
    if (n == 0) {
        // A terminal ends when its window closes (or at Ctrl-D): nobody is
        // left to read an answer. A pipe ends when a script has said all it has.
        reader.at_end = true;
        reader.hung_up = reader.terminal == 1;
        return;
    }
    if (n < 0) {
        // A terminal that was closed answers every read with EIO; polling it
        // again would only spin, so it ends the input like a hang-up.
        if (errno == EINTR || errno == EAGAIN) return;
        print_line("error reading input");
        reader.at_end = reader.hung_up = true;
        return;
    }
    for (ssize_t i = 0; i < n; i++) {
        char c = is_separator(chunk[i]) ? SEPARATOR : chunk[i];
        if (reader.skipping) {
            if (c != SEPARATOR) continue;
            reader.skipping = false;
        }
        reader.pending[reader.length++] = c;
    }
}

void consume(size_t count) {
    memmove(reader.pending, reader.pending + count, reader.length - count);
    reader.length -= count;
}

}  // namespace

bool read_input_line(char* line, size_t capacity) {
    fill_pending();
    size_t start = 0;
    while (start < reader.length && reader.pending[start] == SEPARATOR) start++;
    consume(start);
    size_t end = 0;
    while (end < reader.length && reader.pending[end] != SEPARATOR) end++;
    bool complete = end < reader.length;
    bool full = reader.length == sizeof reader.pending - 1;
    // The last line of the input needs no line end.
    if (!complete && !full && !(reader.at_end && reader.length > 0)) return false;
    if (!complete && full) reader.skipping = true;  // cut an over-long line here

    size_t n = end < capacity - 1 ? end : capacity - 1;
    memcpy(line, reader.pending, n);
    line[n] = 0;
    while (end < reader.length && reader.pending[end] == SEPARATOR) end++;
    consume(end);
    return true;
}

bool input_exhausted() { return reader.at_end && reader.length == 0; }

bool input_hung_up() { return reader.hung_up; }

void reset_input(int fd) {
    reader.fd = fd;
    reader.length = 0;
    reader.at_end = false;
    reader.hung_up = false;
    reader.terminal = -1;
    reader.skipping = false;
}
