#include "core/io.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/settings.h"

SpinLock print_lock;
SpinLock search_lock;

namespace {
FILE* log_file = nullptr;

bool logging() { return options.log && log_file; }

void write_log(const char* text, const char* end) {
    std::lock_guard guard(print_lock);
    fputs(text, log_file);
    fputs(end, log_file);
    fflush(log_file);
}
}  // namespace

void print_line(const char* text) {
    {
        std::lock_guard guard(print_lock);
        fputs(text, stdout);
        fputc('\n', stdout);
        fflush(stdout);
    }
    if (logging()) write_log(text, "\n");
}

void print_text(const char* text) {
    {
        std::lock_guard guard(print_lock);
        fputs(text, stdout);
        fflush(stdout);
    }
    if (logging()) write_log(text, "");
}

void print_fmt(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    print_line(buffer);
}

void print_check_option(const char* name, int value) {
    print_fmt("option name %s type check default %s", name, value ? "true" : "false");
}

void open_log_file() {
    if (!options.log || log_file) return;
    FILE* existing = fopen("quox.log", "r");
    if (existing) {
        fclose(existing);
        if (remove("quox.log") != 0) {
            print_line("log file in use.");
            options.log = 0;
            return;
        }
    }
    log_file = fopen("quox.log", "w");
    if (!log_file) options.log = 0;
}

void close_log_file() {
    if (log_file) fclose(log_file);
    log_file = nullptr;
}

bool log_file_open() { return log_file != nullptr; }

void log_line(const char* text) {
    if (logging()) write_log(text, "\n");
}
