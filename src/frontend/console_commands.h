// The console's larger commands, each in the file of its kind.
#pragma once

// One console line and its words: the command and up to 8 arguments.
struct ConsoleWords {
    const char* line;
    static constexpr int MAX_ARGS = 8;
    static constexpr int CAPACITY = 128;
    char command[CAPACITY];
    char args[MAX_ARGS][CAPACITY];
    int count;  // arguments present

    const char* arg(int i) const { return i < count ? args[i] : ""; }
};

// Position set-up (console_setup.cpp).
void console_edit();
void console_reverse();

// "set name value" (console_settings.cpp).
void console_set(const ConsoleWords& words);

// Inspection of the position and the engine (console_inspect.cpp).
void console_evaluation(int detail);  // ev (1) and sp (2)
void console_network();               // ev2
void console_swap();
void console_perft(const ConsoleWords& words);
void console_pv();
void console_keys();                  // test
