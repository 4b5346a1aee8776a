// The one output routine of the program and the log file. Small on purpose:
// every layer prints through it without depending on the protocol code.
#pragma once
#include <atomic>
#include <cstdio>

// Busy-waiting lock: the critical sections are a single write and flush.
struct SpinLock {
    std::atomic<bool> held{false};
    void lock() {
        while (held.exchange(true, std::memory_order_acquire))
            while (held.load(std::memory_order_relaxed)) __builtin_ia32_pause();
    }
    void unlock() { held.store(false, std::memory_order_release); }
};

extern SpinLock print_lock;
extern SpinLock search_lock;

// Writes text and a newline to standard output (flushed), and to the log when logging is on.
void print_line(const char* text);
// printf-style print_line.
void print_fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes a text block as it is (no newline added) to standard output and the log.
void print_text(const char* text);
void print_check_option(const char* name, int value);

// Log file "quox.log": opened when Log is on; never closed before exit.
void open_log_file();
void close_log_file();
bool log_file_open();
// Writes one line to the log only ("CMD: ..." input lines).
void log_line(const char* text);
