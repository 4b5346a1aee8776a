// Shared by the training-data and trainer tests: packed-record files.
#pragma once
#include <cstring>

#include "eval/nn/network.h"
#include "test_support.h"
#include "tools/records.h"

// A record of a FEN with its scores (the test fails when set_fen refuses the FEN).
inline PackedPosition record_of(const std::string& fen, int result_score, int sc, int ce = 0) {
    PackedPosition r;
    encode_training_record(board_from(fen)->pos, r);
    r.result_score = int16_t(result_score), r.sc = int16_t(sc), r.ce = int16_t(ce);
    return r;
}

inline void write_records(const std::string& path, const std::vector<PackedPosition>& records) {
    write_file(path, std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(PackedPosition)));
}

inline std::vector<PackedPosition> read_records(const std::string& path) {
    const std::string bytes = read_file(path);
    std::vector<PackedPosition> records(bytes.size() / sizeof(PackedPosition));
    memcpy(records.data(), bytes.data(), records.size() * sizeof(PackedPosition));
    return records;
}
