// Shared by the fuzz harnesses: the program's own start-up, scratch files,
// and positions on which to exercise what a harness has set up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "board/thread_board.h"

// The start-up of the program (tables, the game record and the main search
// thread's record, default options, a small hash table, evaluation and
// network), once per process. Returns the game record.
ThreadBoard& fuzz_start_engine();
// The start position and three first moves: the book seeds hold their keys.
extern const char* const FUZZ_OPENINGS[4];
// A scratch directory of this process, made on first use.
const std::string& fuzz_scratch_dir();
// Writes the bytes to path, replacing the file.
void fuzz_write_file(const std::string& path, const uint8_t* data, size_t size);
// Moves, a FEN round trip and a null-window evaluation-free walk of the
// position: anything wrong in a position that set_fen accepted aborts.
void fuzz_check_position(ThreadBoard& tb);
