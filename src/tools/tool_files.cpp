#include "tools/tool_files.h"

#include <cerrno>
#include <cstring>

std::string tool_path(const char* name) {
    std::string path(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

FILE* open_tool_file(const char* name, const char* mode) {
    FILE* file = fopen(tool_path(name).c_str(), mode);
    // A tool that stops without a word looks as if it had finished its work.
    if (!file) fprintf(stderr, "cannot open %s: %s\n", name, strerror(errno));
    return file;
}

bool read_text_line(FILE* file, char* buffer, size_t capacity) {
    if (!fgets(buffer, int(capacity), file)) return false;
    size_t n = strlen(buffer);
    if (!n || buffer[n - 1] != '\n') {
        // Full buffer: the line fits only when nothing but its line end is left.
        bool longer = false;
        for (int c; (c = fgetc(file)) != EOF && c != '\n';) longer |= c != '\r';
        if (longer) n = 0;
    }
    while (n && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) n--;
    buffer[n] = 0;
    return true;
}
