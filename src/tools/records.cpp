#include "tools/records.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/keys.h"
#include "board/movegen.h"
#include "board/thread_board.h"
#include "core/settings.h"
#include "search/rating.h"
#include "search/thread.h"
#include "tools/tool_files.h"

TrainingSet training_set;

namespace {

uint32_t private_random = 1;

// An empty board with White to move and no history.
void clear_record_position(Position& pos) {
    clear_position(pos);
    pos.side = WHITE;
    if (ThreadBoard* tb = pos.owner) {
        tb->histIndex = 0;
        tb->plyIndex = 1;
        tb->lastMove = MOVE_NONE;
    }
}

int nibble(const PackedPosition& r, int sq) { return (r.board[sq >> 1] >> (4 * (sq & 1))) & 15; }

}  // namespace

const char* training_file_or(const char* fixed) { return options.training_file[0] ? options.training_file : fixed; }

uint32_t& training_random() { return search_threads[0] ? search_threads[0]->seed : private_random; }

int training_set_allocate(uint64_t capacity) {
    training_set_free();
    if (capacity > TRAINING_MAX_RECORDS) capacity = TRAINING_MAX_RECORDS;
    auto* records = static_cast<PackedPosition*>(malloc(size_t(capacity ? capacity : 1) * sizeof(PackedPosition)));
    if (!records) return -1;
    training_set.records = records;
    training_set.capacity = uint32_t(capacity);
    return 0;
}

int training_set_reserve_one() {
    TrainingSet& t = training_set;
    if (t.count < t.capacity) return 0;
    if (t.capacity >= TRAINING_MAX_RECORDS) return -1;
    uint64_t grown = uint64_t(t.capacity) * 2 + 1024;
    if (grown > TRAINING_MAX_RECORDS) grown = TRAINING_MAX_RECORDS;
    void* p = realloc(t.records, size_t(grown) * sizeof(PackedPosition));
    if (!p) return -1;
    t.records = static_cast<PackedPosition*>(p);
    t.capacity = uint32_t(grown);
    return 0;
}

void training_set_free() {
    free(training_set.records);
    training_set = TrainingSet{};
}

int read_training_file(const char* name) {
    struct stat st;
    const uint64_t records = stat(tool_path(name).c_str(), &st) == 0 ? uint64_t(st.st_size) / sizeof(PackedPosition) : 0;
    if (training_set_allocate(records) != 0) return -1;
    const bool verbose = options.noise < 99999;
    if (verbose)
        printf("allocated %.0f Mbytes for training data.\n",
               double(training_set.capacity) * sizeof(PackedPosition) / 1e6);
    srand(unsigned(time(nullptr)));
    training_random() = uint32_t(rand()) * 1664525u + 1013904223u;
    if (!strstr(name, ".bin")) return -1;
    FILE* f = open_tool_file(name, "rb");
    if (!f) return -1;
    training_set.count = uint32_t(fread(training_set.records, sizeof(PackedPosition), training_set.capacity, f));
    fclose(f);
    if (verbose) printf("read %d positions from %s.\n\n", int(training_set.count), name);
    return 0;
}

void encode_training_record(const Position& pos, PackedPosition& r) {
    memset(&r, 0, sizeof r);
    for (int sq = 0; sq < 64; sq++) r.board[sq >> 1] |= uint8_t(pos.board[sq] << (4 * (sq & 1)));
    r.side_castling = uint8_t((pos.side << 4) | (pos.castleRights & 15));
    r.ep_square = pos.epSquare;
}

int decode_training_record(const PackedPosition* buffer, uint32_t index, Position& pos, float& target,
                           float result_weight) {
    const PackedPosition& r = buffer[index];
    clear_record_position(pos);
    int pieces = 0, home = 0;
    for (int sq = 0; sq < 64; sq++) {
        const int piece = nibble(r, sq);
        if (piece_type(piece) == NO_TYPE || piece_type(piece) > KING) continue;  // empty, or no piece code
        put_piece(pos, piece, sq);
        const int color = piece_color(piece);
        if (piece_type(piece) == KING) pos.kingSq[color] = uint8_t(sq);
        pieces++;
        home += relative_rank(color, sq) <= 1;
    }
    pos.side = (r.side_castling >> 4) & 1;
    pos.epSquare = r.ep_square > NO_SQUARE ? uint8_t(NO_SQUARE) : r.ep_square;
    char castling[5], *c = castling;
    for (int right = 0; right < 4; right++)
        if (r.side_castling & (1 << right)) *c++ = "KQkq"[right];
    *c = 0;
    set_castling(pos, castling);
    pos.key = compute_key(pos);
    pos.pawnKey = compute_pawn_key(pos);

    const float p1 = win_probability(r.result_score), p2 = win_probability(r.sc);
    target = result_weight * p1 + (1 - result_weight) * p2;

    const int side = pos.side;
    if (pos.kingSq[WHITE] == NO_SQUARE || pos.kingSq[BLACK] == NO_SQUARE) return 0;
    if (is_attacked(pos, pos.kingSq[side ^ 1], side)) return 0;
    if (std::fabs(p2 - p1) >= 0.5f) return 0;
    // Crowded positions, and those with many pieces still at home, are
    // plentiful in self-play: keep fewer of them.
    const int x = int(next_training_random() & 255);
    if ((5 * pieces - 120) * 4 > x || 8 * home - 128 > x) return 0;
    return 1;
}

int16_t result_score(float r) {
    r = r < 0.000001f ? 0.000001f : r > 0.999999f ? 0.999999f : r;
    double v = -200.0 * std::log(1.0 / double(r) - 1.0);
    v = v < -3000 ? -3000 : v > 3000 ? 3000 : v;
    return int16_t(v);
}

uint64_t record_key(const PackedPosition& r) {
    uint64_t key = KeyTable[r.side_castling & 15];
    if (r.ep_square < NO_SQUARE) key ^= KeyTable[r.ep_square];
    for (int sq = 0; sq < 64; sq++)
        if (int piece = nibble(r, sq)) key ^= KeyTable[64 * piece + sq];
    return key;
}
