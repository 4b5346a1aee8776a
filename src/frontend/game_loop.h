// The interactive engine's main loop.
#pragma once

// Polls input about once per millisecond and answers "go"; returns on quit.
void game_loop();
// Sleeps about one millisecond (the polling period).
void sleep_ms(int milliseconds);
