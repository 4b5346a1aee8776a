// Packed training records: the decoder's filters, thinning and odd bytes,
// result scores, and the files refused. (Positions of whole games go through
// the encoder and back in the -epd2bin / -bin2epd round trip; the duplicate
// filter's key, whatever the side to move, in -filtertraindata.)

#include "records_helpers.h"
#include "search/rating.h"

namespace {

int decode(const PackedPosition& r, Position& pos, float& target) { return decode_training_record(&r, 0, pos, target); }

}  // namespace

TEST(Records, ResultScoresTheDecodersFiltersAndRefusedFiles) {
    for (auto [result, score] : {std::pair{1.0f, 2760}, {0.999999f, 2760}, {0.5f, 0}, {0.0f, -2763}, {0.25f, -219}})
        EXPECT_NEAR(result_score(result), score, 1) << result;
    EXPECT_NEAR(result_score(win_probability(150)), 150, 1);
    // Few pieces: never thinned, so only the filters decide. The target blends result and score 1:3.
    const std::string quiet = "4k3/8/8/3p4/8/8/3P4/4K3 w - -";
    Position pos{};
    float target;
    for (int i = 0; i < 50; i++) ASSERT_EQ(decode(record_of(quiet, 0, 30), pos, target), 1);
    EXPECT_NEAR(target, 0.25f * 0.5f + 0.75f * win_probability(30), 1e-6);
    EXPECT_EQ(decode(record_of(quiet, -2763, 600), pos, target), 0);  // 0.95 against a lost game
    EXPECT_NEAR(target, 0.25f * win_probability(-2763) + 0.75f * win_probability(600), 1e-6);
    EXPECT_EQ(decode(record_of(quiet, 2760, 300), pos, target), 1);
    PackedPosition no_king = record_of(quiet, 0, 0);
    no_king.board[2] = 0;  // e1 is square 4: byte 2, low nibble
    EXPECT_EQ(decode(no_king, pos, target), 0);
    // The side to move may stand in check; the other side may not.
    PackedPosition checked = record_of("4k3/8/8/8/8/8/8/r3K3 w - -", 0, 0);
    EXPECT_EQ(decode(checked, pos, target), 1);
    checked.side_castling = 0x10;
    EXPECT_EQ(decode(checked, pos, target), 0);
    // Castling rights without their rook drop; an en-passant byte past the board means none.
    PackedPosition rights = record_of("4k2r/8/8/8/8/8/8/R3K3 w - -", 0, 0);
    rights.side_castling = 0x0F;
    rights.ep_square = 64;
    decode(rights, pos, target);
    EXPECT_EQ(pos.castleRights * 10 + (pos.epSquare == NO_SQUARE), (WHITE_OOO | BLACK_OO) * 10 + 1);
    // Crowded positions are thinned: 32 pieces at home are kept 96 times in 256; 29 with
    // 18 at home are rejected below max((5 x 29 - 120) x 4, 8 x 18 - 128) = 100.
    const PackedPosition start = record_of(START_FEN, 0, 20);
    const PackedPosition middle = record_of("r1b2rk1/pp3ppp/2n1pn2/q2p4/2PP4/P1N1PN2/1P3PPP/R2QKB1R w KQ -", 0, 20);
    training_random() = 12345;
    int kept_start = 0, kept_middle = 0;
    for (int i = 0; i < 20000; i++) kept_start += decode(start, pos, target), kept_middle += decode(middle, pos, target);
    EXPECT_NEAR(kept_start / 20000.0, 96.0 / 256, 0.02);
    EXPECT_NEAR(kept_middle / 20000.0, 156.0 / 256, 0.02);
    // Only ".bin" names are training files. (A whole file read back: the -bin2epd round trip.)
    const std::string dir = make_scratch_dir("records");
    write_records(dir + "/set.dat", {start, middle});
    options.noise = 99999;
    EXPECT_EQ(read_training_file((dir + "/set.dat").c_str()), -1);
    EXPECT_EQ(read_training_file((dir + "/missing.bin").c_str()), -1);
    EXPECT_EQ(training_set.count, 0u);
    training_set_free();
}
