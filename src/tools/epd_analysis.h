// EPD test suites: every position searched with the configured limits, the
// move found checked against the bm, am and c0 operands, the analysed
// positions written out, and a summary of the run.
#pragma once

// Analyses the positions of options.epd_input into `path` ("analysis.epd"
// when empty). With book_flag set, the positions after every root move that
// scores within 100 centipawns of the best are written to "tmp_0.epd" as
// candidate book positions (that file is created in every case).
void analyse_epd(const char* path, int book_flag);
