// Console command mode: the interface for a human at a terminal.
#pragma once

// Auto-play requests, read by the game loop after each search: the engine
// plays both sides, or answers once.
extern int autoplay_both;
extern int autoplay_reply;

// Carries out one console line; "quit" and "." are obeyed even during a search.
void console_command(char* line);
// The board after a change, preceded by the last move and an evaluation display
// when the display-evaluation setting ("set debug 1") is on.
void show_position();
