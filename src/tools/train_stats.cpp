#include "tools/train_stats.h"

#include <algorithm>
#include <cstdio>

#include "board/position.h"
#include "eval/nn/infer.h"
#include "tools/records.h"

namespace {

constexpr int MATERIAL_STATS_SIZE = 80;  // pawn units 0..79
constexpr int CORRECTION_BUCKETS = 200;
constexpr const char* MATERIAL_STATS_FILE = "/chess/trainingdata/bin/nodes_6K/20260402_n6k.bin";
constexpr const char* CORRECTION_FILE = "/chess/trainingdata/bin/2025_n6k.bin";
constexpr int MAX_CORRECTION = 100;
constexpr int FULL_WEIGHT_COUNT = 256;  // buckets with fewer records count for less

int count(const Position& pos, int color, int type) { return material_count(pos.material[color], type); }

struct Bucket {
    int count = 0;
    double mean = 0;
};

// Material of both sides in pawn units (pawn 1, minor 3, rook 5, queen 9).
int material_units(const Position& pos) {
    int units = 0;
    for (int c = WHITE; c <= BLACK; c++)
        units += count(pos, c, PAWN) + 3 * (count(pos, c, KNIGHT) + count(pos, c, BISHOP)) + 5 * count(pos, c, ROOK) +
                 9 * count(pos, c, QUEEN);
    return units;
}

// The imbalance bucket (1..199), side to move against the other: pawns, minor and major pieces.
int correction_bucket(const Position& pos) {
    const int us = pos.side, them = us ^ 1;
    auto difference = [&](int type_a, int type_b) {
        return count(pos, us, type_a) + count(pos, us, type_b) - count(pos, them, type_a) - count(pos, them, type_b);
    };
    const int pawns = count(pos, us, PAWN) - count(pos, them, PAWN);
    const int minors = difference(KNIGHT, BISHOP), majors = difference(ROOK, QUEEN);
    return (pawns <= -5 ? 96 : std::min(pawns, 4) + 100) + (minors <= -5 ? -20 : 5 * std::min(minors, 4)) +
           (majors <= -4 ? -75 : 25 * std::min(majors, 3));
}

}  // namespace

void training_material_stats() {
    int counts[MATERIAL_STATS_SIZE] = {};
    const int status = for_each_accepted_record(training_file_or(MATERIAL_STATS_FILE), [&](const Position& pos, float) {
        const int units = material_units(pos);
        if (units < MATERIAL_STATS_SIZE) counts[units]++;  // promotions can go past the table
    });
    if (status != 0) return;
    for (int units = 0; units < MATERIAL_STATS_SIZE; units++) printf("%2d.  %8d\n", units, counts[units]);
}

void generate_correction_history() {
    Bucket buckets[CORRECTION_BUCKETS];
    NNState nn{};
    const int status = for_each_accepted_record(training_file_or(CORRECTION_FILE), [&](const Position& pos, float target) {
        nn.eval_ply = 0;  // unrelated positions: rebuild the accumulators every time
        const int eval = nn_evaluate(nn, pos);
        if (eval == -10001) return;
        const int error = std::clamp(result_score(target) - eval, -MAX_CORRECTION, MAX_CORRECTION);
        Bucket& b = buckets[correction_bucket(pos)];
        b.mean = (b.mean * b.count + error) / (b.count + 1);
        b.count++;
    });
    nn_state_free(nn);
    if (status != 0) return;
    for (const Bucket& b : buckets) {
        const double damped = b.mean * std::min(b.count, FULL_WEIGHT_COUNT) / FULL_WEIGHT_COUNT;
        printf("%d, ", int(damped >= 0 ? damped + 0.5 : damped - 0.5));
    }
    printf("\n");
}
