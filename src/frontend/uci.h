// The UCI protocol: the non-blocking input poll and the command table.
#pragma once

// Reads at most one waiting line and carries it out; never blocks.
void poll_input();
// Carries out one input line (mode gate, then a UCI or console command).
void execute_line(char* line);
// Prints the identification and option list followed by "uciok".
void print_uci_identification();
