// Non-blocking line reader over standard input, for pipes and terminals alike.
#pragma once
#include <cstddef>

constexpr size_t INPUT_CAPACITY = 5000;  // pending text; a longer line is cut there

// Takes at most one complete line if one is waiting; never blocks.
// NUL, CR, LF and '@' end a line; runs of them give no empty lines.
bool read_input_line(char* line, size_t capacity);
// True once standard input has reached its end and no text is pending.
bool input_exhausted();
// True once a terminal has ended or reading failed: nobody will read an answer.
bool input_hung_up();
// Points the reader at another descriptor (tests feed it through a pipe).
void reset_input(int fd);
