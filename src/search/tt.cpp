#include "search/tt.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "board/attacks.h"
#include "board/keys.h"
#include "board/move.h"
#include "board/movegen.h"
#include "core/io.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/draw.h"
#include "search/state.h"

TranspositionTable tt;

namespace {

constexpr size_t BUCKET = 4;
constexpr size_t SPARE = 8;  // keeps the last overlapping bucket inside its half
constexpr uint64_t PARALLEL_CLEAR_MIN = 0x80000;

uint64_t load(const uint64_t& word) { return std::atomic_ref<uint64_t>(const_cast<uint64_t&>(word)).load(std::memory_order_relaxed); }
void store(uint64_t& word, uint64_t value, std::memory_order order = std::memory_order_relaxed) {
    std::atomic_ref<uint64_t>(word).store(value, order);
}

uint32_t check_word(int score, Move move, uint64_t key) {
    return (uint32_t(score) + (uint32_t(move) << 16) + 12000u) ^ uint32_t(key >> 32);
}

struct Fields {
    Move move;
    int16_t eval, score;
    int8_t depth;
    uint8_t age_bound;
};

Fields unpack(uint64_t data) {
    return {Move(data), int16_t(data >> 16), int16_t(data >> 32), int8_t(data >> 48), uint8_t(data >> 56)};
}

uint64_t pack(const Fields& f) {
    return uint64_t(f.move) | uint64_t(uint16_t(f.eval)) << 16 | uint64_t(uint16_t(f.score)) << 32 |
           uint64_t(uint8_t(f.depth)) << 48 | uint64_t(f.age_bound) << 56;
}

uint64_t table_bytes() { return uint64_t(options.hash_mb) << 20; }

void zero_block() {
    uint64_t bytes = tt.entries * 16 + 256;
    int workers = options.threads;
    if (workers <= 1 || tt.entries <= PARALLEL_CLEAR_MIN) {
        memset(tt.block, 0, bytes);
        return;
    }
    std::vector<std::thread> pool;
    uint64_t share = bytes / uint64_t(workers);
    for (int i = 0; i < workers; i++) {
        uint64_t begin = share * uint64_t(i);
        uint64_t size = i == workers - 1 ? bytes - begin : share;
        pool.emplace_back([begin, size] { memset(reinterpret_cast<char*>(tt.block) + begin, 0, size); });
    }
    for (auto& t : pool) t.join();
}

bool silenced() { return options.noise >= 99999; }

}  // namespace

bool tt_present() { return tt.block != nullptr; }

void tt_free() {
    if (tt.block) munmap(tt.block, tt.entries * 16 + 256);
    tt.block = nullptr;
    tt.half[0] = tt.half[1] = nullptr;
}

int tt_allocate() {
    init_keys();
    tt_free();
    uint64_t bytes = table_bytes();
    tt.entries = bytes / 16;
    if (bytes <= 15) {
        search_state.table_enabled = 0;
        tt.mask = ~0ull;
        return 1;
    }
    void* memory = mmap(nullptr, bytes + 256, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        search_state.table_enabled = 0;
        // Said even in a silent run: the program ends on this.
        print_fmt("info string can't allocate %d MB for the hash table", options.hash_mb);
        return 0;
    }
    madvise(memory, bytes + 256, MADV_HUGEPAGE);
    tt.block = static_cast<TTEntry*>(memory);
    tt.half[0] = tt.block;
    tt.half[1] = reinterpret_cast<TTEntry*>(reinterpret_cast<char*>(memory) + bytes / 2 + 128);
    uint64_t n = 1;
    while (n * 2 <= bytes / 32) n *= 2;
    tt.mask = n - 1;
    tt.half_entries = n + SPARE;
    // A table that was switched off by a zero size is usable again once it has memory.
    search_state.table_enabled = 1;
    if (!silenced()) print_fmt("info string allocated %d Mbytes for hash table", options.hash_mb);
    search_state.hashfull = 0;
    zero_block();
    if (!silenced()) print_line("info string cleared hash table");
    return 1;
}

void tt_clear() {
    if (!search_state.table_enabled || !tt.block) return;
    zero_block();
    search_state.hashfull = 0;
}

void tt_new_search() {
    static int step = 1;
    uint16_t& age = search_state.age;
    if (age == 0) step = 1;
    else if (age > 30) step = -1;
    age = uint16_t(age + step);
}

int tt_move_rejection(const Position& pos, Move move) {
    int from = move_from(move), to = move_to(move);
    Move flags = move_flags(move);
    int piece = pos.board[from], type = piece_type(piece), us = pos.side;
    if (type < PAWN || type > KING) return 2;
    if (type == KING && flags) {
        // Castling: the right must still be held by the king on its square,
        // heading for its own destination over an empty path.
        int right = castle_right(us, flags);
        int back_rank = us == WHITE ? 0 : 7;
        int destination = (from & 56) + (flags == CASTLE_KING_SIDE ? 6 : 2);
        if (rank_of(to) != back_rank || (flags != CASTLE_KING_SIDE && flags != CASTLE_QUEEN_SIDE) ||
            !(pos.castleRights & (1 << right)) || from != pos.kingSq[us] || to != destination ||
            (pos.castlePath[right] & pos.occupied()))
            return 12;
        return 0;
    }
    if (from == to) return 1;
    int target = pos.board[to];
    if (piece_type(target) == KING) return 2;
    if (piece_color(piece) != us) return 3;
    if (target && piece_color(target) == us) return 4;
    if (flags && (type != PAWN || relative_rank(us, from) != 6 ||
                  (flags != PROMO_QUEEN && flags != PROMO_KNIGHT && flags != PROMO_BISHOP && flags != PROMO_ROOK)))
        return 6;
    Bitboard occ = pos.occupied(), to_bb = square_bb(to);
    switch (type) {
        case PAWN: {
            int dir = pawn_dir(us);
            bool last_rank = relative_rank(us, to) == 7;
            bool push = to == from + dir && !target;
            bool double_push = relative_rank(us, from) == 1 && to == from + 2 * dir && !target && !pos.board[from + dir];
            bool capture = (PawnAttacks[us][from] & to_bb) && (target || to == pos.epSquare);
            if ((last_rank && !flags) || !(push || double_push || capture)) return 7;
            break;
        }
        case KNIGHT:
            if (!(KnightAttacks[from] & to_bb)) return 8;
            break;
        case BISHOP:
            if (!(BishopFull[from] & to_bb) || (Between[from][to] & occ)) return 9;
            break;
        case ROOK:
            if (!(RookFull[from] & to_bb) || (Between[from][to] & occ)) return 10;
            break;
        case QUEEN:
            if (!((BishopFull[from] | RookFull[from]) & to_bb) || (Between[from][to] & occ)) return 11;
            break;
        case KING:
            if (!(KingAttacks[from] & to_bb)) return 13;
            break;
    }
    return is_legal(pos, us, move) ? 0 : 14;
}

int tt_probe(Position& pos, TTData& out) {
    if (!search_state.table_enabled || !tt.block) return 0;
    ThreadBoard& owner = *pos.owner;
    bump(owner.tt_probes);
    TTEntry* bucket = &tt.half[pos.side][pos.key & tt.mask];
    uint32_t key_low = uint32_t(pos.key);
    TTEntry* entry = nullptr;
    for (size_t i = 0; i < BUCKET && !entry; i++)
        if (uint32_t(load(bucket[i].lock_word)) == key_low) entry = &bucket[i];
    if (!entry) return 0;

    Fields f = unpack(load(entry->data_word));
    int current_age = search_state.age;
    int age = f.age_bound & 31;
    if (age != current_age) {
        // An entry from an earlier search counts for less the older it is.
        int gap = age > current_age ? age - current_age : current_age - age;
        f.depth = int8_t(f.depth - 2 * gap);
        f.age_bound = uint8_t((f.age_bound & 0xE0) | current_age);
        store(entry->data_word, pack(f));
    }
    out = {f.score, f.eval, f.depth, f.age_bound >> 5, f.move};

    uint64_t lock = load(entry->lock_word);
    if (uint32_t(lock) != key_low || uint32_t(lock >> 32) != check_word(f.score, f.move, pos.key)) return 0;

    int code = tt_move_rejection(pos, f.move);
    if (code == 0) {
        bump(owner.tt_hits);
        return 1;
    }
    {
        std::lock_guard guard(search_lock);
        char fen[128];
        write_fen(pos, fen, 0);
        print_fmt("info fen %s", fen);
        const char* files = "abcdefgh";
        int from = move_from(f.move), to = move_to(f.move);
        print_fmt("info string illegal hash move: %c%d%c%d, flags= %x, code= %d\n\n", files[file_of(from)],
                  rank_of(from) + 1, files[file_of(to)], rank_of(to) + 1, move_flags(f.move), code);
    }
    f.move = MOVE_NONE;  // the check word no longer matches: the entry is a miss from now on
    store(entry->data_word, pack(f));
    return 0;
}

void tt_store(const Position& pos, int ply, int depth, Move move, int eval, int score, int bound) {
    if (!search_state.table_enabled || !tt.block || move == MOVE_NONE) return;
    // Mate scores are stored relative to this node, so they stay right wherever it is reached.
    if (score < -9799)
        score -= ply;
    else if (score > 9798)
        score += ply;
    if (depth < 0) depth = -1;

    TTEntry* bucket = &tt.half[pos.side][pos.key & tt.mask];
    uint32_t key_low = uint32_t(pos.key);
    int current_age = search_state.age;
    TTEntry* target = nullptr;
    for (size_t i = 0; i < BUCKET && !target; i++) {
        Fields f = unpack(load(bucket[i].data_word));
        if (uint32_t(load(bucket[i].lock_word)) == key_low) {
            if (f.depth - 2 > depth) return;  // a clearly deeper result of the same position stays
            target = &bucket[i];
        } else if ((f.age_bound & 31) != current_age) {
            target = &bucket[i];
        }
    }
    if (!target) {
        target = &bucket[0];
        for (size_t i = 1; i < BUCKET; i++)
            if (unpack(load(bucket[i].data_word)).depth < unpack(load(target->data_word)).depth) target = &bucket[i];
    }
    Fields f{move, int16_t(eval), int16_t(score), int8_t(depth), uint8_t((bound << 5) + current_age)};
    store(target->data_word, pack(f));
    store(target->lock_word, uint64_t(key_low) | uint64_t(check_word(score, move, pos.key)) << 32,
          std::memory_order_release);
}

float tt_hashfull() {
    if (!tt.block || tt.entries <= 2999) return 0;
    int count = 0;
    for (int h = 0; h < 2; h++)
        for (int i = 0; i < 500; i++)
            if ((unpack(load(tt.half[h][i].data_word)).age_bound & 31) == search_state.age) count++;
    return float(count) / 1000.0f;
}

void tt_pv(Position& pos, int index, Move* line) {
    if (line[index] == MOVE_NONE) {
        line[index + 1] = MOVE_NONE;
        TTData data;
        if (!tt_probe(pos, data) || data.move == MOVE_NONE) return;
        if (is_draw_by_rule(*pos.owner)) return;
        line[index] = data.move;
    }
    if (!is_legal(pos, pos.side, line[index])) return;
    make_move(pos, line[index]);
    if (index + 1 <= 76) tt_pv(pos, index + 1, line);
    unmake_move(pos);
}
