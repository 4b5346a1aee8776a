// Re-scoring of training positions with the engine's own search.
#pragma once

// Reads the EPD lines of options.epd_input, plays out the short line a
// depth-2 search finds, searches the quiet end position with the configured
// limits and writes it with its new score to options.output_file. Both names
// must contain ".epd".
void score_training_data();
