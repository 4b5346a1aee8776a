// Files of the command-line tools: names written with either path separator,
// and text lines of bounded length.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// The name with '\' read as '/', so that names written for either platform work.
std::string tool_path(const char* name);
// fopen of tool_path(name); a failure is reported on standard error.
FILE* open_tool_file(const char* name, const char* mode);

// Reads the next line into buffer without its line end. A line that does not
// fit in `capacity` bytes is consumed whole and comes back empty, so callers
// skip it like any short line instead of reading its tail as a line of its
// own. False at the end of the file.
bool read_text_line(FILE* file, char* buffer, size_t capacity);
