// The option handler behind "setoption", parameter files and the console.
#pragma once

// Applies one named option (exact, case-sensitive name) with its range,
// side effects and "info string" reply. Unknown names are ignored.
void set_option(const char* name, const char* value);
// Strength limiting to a search speed (nodes per second) and the Elo it stands for.
void limit_to_speed(float nps);
// Reads the ConfigFilePath file: "name = value" lines with '#' comments.
void load_parameters();
// Writes every option's current value as a parameter file that
// load_parameters reads back to the same settings: 0, or -1 with a message.
int write_parameters(const char* path);
