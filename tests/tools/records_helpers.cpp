#include "records_helpers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "board/move.h"
#include "board/movegen.h"
#include "board/thread_board.h"
#include "test_support.h"

std::vector<std::string> random_game_fens(uint64_t seed, int games, int plies) {
    static const char* const STARTS[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
        "r3k3/1p6/8/8/8/8/6P1/4K2R b Kq -",
    };
    std::mt19937_64 rng(seed);
    auto tb = std::make_unique<ThreadBoard>();
    init_thread_board(*tb);
    std::vector<std::string> fens;
    char fen[100];
    for (int g = 0; g < games; g++) {
        EXPECT_EQ(set_fen(tb->pos, STARTS[g % 4]), 0);
        for (int ply = 0; ply < plies; ply++) {
            write_fen(tb->pos, fen, 0);
            fens.push_back(fen);
            tb->plyIndex = 1;
            gen_all(tb->pos);
            std::vector<Move> legal;
            for (MoveEntry* e = tb->ply[1].moves; e < tb->ply[1].listEnd; e++)
                if (is_legal(tb->pos, tb->pos.side, e->move)) legal.push_back(e->move);
            if (legal.empty() || tb->pos.fifty >= 100) break;
            make_game_move(*tb, legal[rng() % legal.size()]);
        }
    }
    return fens;
}

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
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(records.data(), sizeof(PackedPosition), records.size(), f);
    fclose(f);
}

std::vector<PackedPosition> read_records(const std::string& path) {
    const std::string bytes = read_file(path);
    std::vector<PackedPosition> records(bytes.size() / sizeof(PackedPosition));
    memcpy(records.data(), bytes.data(), records.size() * sizeof(PackedPosition));
    return records;
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

int material_balance(const Position& pos) {
    static constexpr int VALUE[7] = {0, 100, 300, 320, 500, 900, 0};
    int balance = 0;
    for (int type = PAWN; type <= QUEEN; type++)
        balance += VALUE[type] * (popcount(pos.pieces[pos.side][type]) - popcount(pos.pieces[pos.side ^ 1][type]));
    return balance;
}
