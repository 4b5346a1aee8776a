// Book building from PGN games (-mkbook): for every position of the first 36
// half-moves of each decided game, how often each move was played and how it
// scored; the moves that did well go into a Polyglot book sorted by key.
#pragma once

inline constexpr const char* BOOK_BUILD_FILE = "tmp_book.bin";
constexpr int BOOK_BUILD_PLIES = 36;

// Reads the games of pgn_path and writes the book to out_path ("tmp_book.bin"
// when null or empty), printing progress and a summary. A file that cannot be
// read does nothing; games with a "*" result, without a result or from a FEN
// set-up are counted but not used; a move that does not parse ends its game.
void make_book(const char* pgn_path, const char* out_path);
