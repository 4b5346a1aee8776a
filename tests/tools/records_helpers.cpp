#include "records_helpers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "test_support.h"

PackedPosition record_of(const std::string& fen, int result_score, int sc, int ce) {
    Position pos{};
    EXPECT_EQ(set_fen(pos, fen.c_str()), 0) << fen;
    PackedPosition r;
    encode_training_record(pos, r);
    r.result_score = int16_t(result_score);
    r.sc = int16_t(sc);
    r.ce = int16_t(ce);
    return r;
}

void write_records(const std::string& path, const std::vector<PackedPosition>& records) {
    write_text(path, std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(PackedPosition)));
}

std::vector<PackedPosition> read_records(const std::string& path) {
    const std::string bytes = read_file(path);
    std::vector<PackedPosition> records(bytes.size() / sizeof(PackedPosition));
    memcpy(records.data(), bytes.data(), records.size() * sizeof(PackedPosition));
    return records;
}

void write_text(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

int material_balance(const Position& pos) {
    static constexpr int VALUE[7] = {0, 100, 300, 320, 500, 900, 0};
    int balance = 0;
    for (int type = PAWN; type <= QUEEN; type++)
        balance += VALUE[type] * (popcount(pos.pieces[pos.side][type]) - popcount(pos.pieces[pos.side ^ 1][type]));
    return balance;
}
