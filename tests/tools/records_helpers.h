// Shared by the training-data and trainer tests: packed-record files.
#pragma once
#include <string>
#include <vector>

#include "board/position.h"
#include "tools/records.h"
#include "test_support.h"

// A record of a FEN with its scores (the test fails when set_fen refuses the FEN).
PackedPosition record_of(const std::string& fen, int result_score, int sc, int ce = 0);

void write_records(const std::string& path, const std::vector<PackedPosition>& records);
std::vector<PackedPosition> read_records(const std::string& path);
void write_text(const std::string& path, const std::string& text);

// Centipawns of material, side to move minus the other side (P 100, N 300, B 320, R 500, Q 900).
int material_balance(const Position& pos);
