// Packed training positions: the 40-byte record of the .bin files, the
// in-memory training set, and the decoder that turns a record back into a
// Position with the probability the network is trained towards.
#pragma once
#include <cstdint>

#include "board/position.h"

// 40 bytes, little-endian, no padding. Board nibbles use the engine's piece
// codes (white 1-6, black 9-14), two squares per byte, low nibble first.
struct PackedPosition {
    uint8_t board[32];
    uint8_t side_castling;  // low nibble castling rights, high nibble side to move
    uint8_t ep_square;      // 64 = none
    int16_t result_score;   // game result from the side to move's view, as a score
    int16_t ce;             // search score of the source line
    int16_t sc;             // training score, within +-3000
};
static_assert(sizeof(PackedPosition) == 40);

constexpr uint32_t TRAINING_MAX_RECORDS = 449999999;

// The training set in memory. Sized to what a file needs (never more than
// TRAINING_MAX_RECORDS records) rather than the fixed 450 million of old.
struct TrainingSet {
    PackedPosition* records = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
};
extern TrainingSet training_set;

// Replaces the buffer with one of `capacity` records (count 0): 0, or -1.
int training_set_allocate(uint64_t capacity);
// Room for one more record, growing the buffer as needed: 0, or -1 when full or out of memory.
int training_set_reserve_one();
void training_set_free();

// Reads a whole .bin file into training_set: 0, or -1 (no ".bin" in the
// name, unreadable file, no memory). Prints the allocation and the count
// unless noise is 99999, and reseeds the generator and the thread-0 random field.
int read_training_file(const char* name);

// The game result's share of a record's target; the search score has the rest.
constexpr float DEFAULT_RESULT_WEIGHT = 0.25f;

// Fills pos from record `index` of buffer and sets target (result_weight x
// result probability + the rest x score probability; computed for every
// record). Returns 1 when the record is fit for training, 0 when it is
// rejected: missing king, side not to move in check, score and result
// disagreeing, or thinned out.
// Thinning advances the thread-0 random field (training_random()).
int decode_training_record(const PackedPosition* buffer, uint32_t index, Position& pos, float& target,
                           float result_weight = DEFAULT_RESULT_WEIGHT);

// Hands every record of the training set that the decoder accepts to visit(pos, target).
template <class Visit>
void visit_accepted_records(Visit visit) {
    Position pos{};
    for (uint32_t i = 0; i < training_set.count; i++) {
        float target;
        if (decode_training_record(training_set.records, i, pos, target)) visit(pos, target);
    }
}

// The training file named on the command line, or the tool's fixed one when none was.
const char* training_file_or(const char* fixed);

// read_training_file, visit_accepted_records and the release of the buffer.
// Returns 0, or -1 when the file could not be read.
template <class Visit>
int for_each_accepted_record(const char* name, Visit visit) {
    const int status = read_training_file(name);
    if (status == 0) visit_accepted_records(visit);
    training_set_free();
    return status;
}

// The board, side, castling and en-passant fields of a record (scores left 0).
void encode_training_record(const Position& pos, PackedPosition& record);

// -200 ln(1/r - 1) with r limited to 0.000001..0.999999 in single precision,
// truncated and limited to +-3000: a win 2760, a draw 0, a loss -2763.
int16_t result_score(float r);

// Hash key of a record's placement, castling bits and en-passant square; the side is not in it.
uint64_t record_key(const PackedPosition& record);

// The pseudo-random field the decoder and the generator advance (x * 1664525 + 1013904223):
// the main thread's record's field, or a private one when there is no such record.
uint32_t& training_random();
inline uint32_t next_training_random() {
    uint32_t& x = training_random();
    x = x * 1664525u + 1013904223u;
    return x;
}
