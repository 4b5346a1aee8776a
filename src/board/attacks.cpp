#include "board/attacks.h"

#include <cstring>

Bitboard RayN[64], RayS[64], RayE[64], RayW[64];
Bitboard RayNW[64], RayNE[64], RaySW[64], RaySE[64];
Bitboard BishopFull[64], RookFull[64];
Bitboard KnightAttacks[64], KingAttacks[64];
Bitboard PawnAttacks[2][64];
Bitboard Between[64][64];
uint8_t kpk_table[2 * 32 * 64 * 64];

namespace {

bool on_board(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

// Squares reached from sq by repeating (df, dr) until the edge, sq itself excluded.
Bitboard walk(int sq, int df, int dr) {
    Bitboard ray = 0;
    int f = file_of(sq) + df, r = rank_of(sq) + dr;
    while (on_board(f, r)) {
        ray |= square_bb(make_square(f, r));
        f += df;
        r += dr;
    }
    return ray;
}

// The set of single (df, dr) steps from sq that stay on the board.
Bitboard leaps(int sq, const int (*steps)[2], int count) {
    Bitboard set = 0;
    for (int i = 0; i < count; i++) {
        int f = file_of(sq) + steps[i][0], r = rank_of(sq) + steps[i][1];
        if (on_board(f, r)) set |= square_bb(make_square(f, r));
    }
    return set;
}

constexpr int KNIGHT_STEPS[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr int KING_STEPS[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

}  // namespace

void init_tables() {
    for (int sq = 0; sq < 64; sq++) {
        RayN[sq] = walk(sq, 0, 1);
        RayS[sq] = walk(sq, 0, -1);
        RayE[sq] = walk(sq, 1, 0);
        RayW[sq] = walk(sq, -1, 0);
        RayNW[sq] = walk(sq, -1, 1);
        RayNE[sq] = walk(sq, 1, 1);
        RaySW[sq] = walk(sq, -1, -1);
        RaySE[sq] = walk(sq, 1, -1);
        BishopFull[sq] = RayNW[sq] | RayNE[sq] | RaySW[sq] | RaySE[sq];
        RookFull[sq] = RayN[sq] | RayS[sq] | RayE[sq] | RayW[sq];
        KnightAttacks[sq] = leaps(sq, KNIGHT_STEPS, 8);
        KingAttacks[sq] = leaps(sq, KING_STEPS, 8);
        const int white_steps[2][2] = {{-1, 1}, {1, 1}}, black_steps[2][2] = {{-1, -1}, {1, -1}};
        PawnAttacks[WHITE][sq] = leaps(sq, white_steps, 2);
        PawnAttacks[BLACK][sq] = leaps(sq, black_steps, 2);
    }
    memset(Between, 0, sizeof Between);
    for (int a = 0; a < 64; a++) {
        for (const auto& step : KING_STEPS) {
            Bitboard passed = 0;
            int f = file_of(a) + step[0], r = rank_of(a) + step[1];
            while (on_board(f, r)) {
                int b = make_square(f, r);
                Between[a][b] = passed;
                passed |= square_bb(b);
                f += step[0];
                r += step[1];
            }
        }
    }
}

// ---------------------------------------------------------------------------
// King and pawn versus king. Entries are rows of 64 defending-king squares so
// that every pass is a byte-wise OR over whole rows.

namespace {

constexpr uint8_t KPK_ILLEGAL = 0, KPK_DRAW = 1, KPK_WIN = 2, KPK_UNKNOWN = 4;

uint8_t* kpk_row(int mover, int pawn, int king) { return kpk_table + kpk_index(mover, pawn, king, 0); }

// Pawn-side move: push, double push, king steps. The row keeps its 4s only
// where some reply is still unknown and none is known to win.
bool kpk_pass_pawn_side(int pawn, int king) {
    uint8_t* row = kpk_row(0, pawn, king);
    uint8_t s[64] = {};
    const uint8_t* pushed = kpk_row(1, pawn + 8, king);
    bool second_rank = rank_of(pawn) == 1;
    // Only a pawn on its second rank has a double step: from higher ranks it would leave the table.
    const uint8_t* doubled = second_rank ? kpk_row(1, pawn + 16, king) : pushed;
    for (int d = 0; d < 64; d++) {
        s[d] = pushed[d];
        if (second_rank && pushed[d] != KPK_ILLEGAL) s[d] |= doubled[d];
    }
    for (Bitboard steps = KingAttacks[king]; steps;) {
        const uint8_t* next = kpk_row(1, pawn, pop_lsb(steps));
        for (int d = 0; d < 64; d++) s[d] |= next[d];
    }
    bool changed = false;
    for (int d = 0; d < 64; d++) {
        if (row[d] != KPK_UNKNOWN) continue;
        uint8_t v = (s[d] & KPK_WIN) ? KPK_WIN : (s[d] & KPK_UNKNOWN) ? KPK_UNKNOWN : KPK_DRAW;
        changed |= v != row[d];
        row[d] = v;
    }
    return changed;
}

// Defender move: king steps, taking the pawn when it is unprotected.
bool kpk_pass_defender(int pawn, int king) {
    uint8_t* row = kpk_row(1, pawn, king);
    const uint8_t* replies = kpk_row(0, pawn, king);
    bool pawn_hangs = square_distance(king, pawn) >= 2;
    bool changed = false;
    for (int d = 0; d < 64; d++) {
        if (row[d] != KPK_UNKNOWN) continue;
        uint8_t s = 0;
        for (Bitboard steps = KingAttacks[d]; steps;) {
            int t = pop_lsb(steps);
            s |= replies[t];
            if (t == pawn && pawn_hangs) s |= KPK_DRAW;
        }
        uint8_t v = (s & KPK_DRAW) ? KPK_DRAW : (s & KPK_UNKNOWN) ? KPK_UNKNOWN : (s & KPK_WIN) ? KPK_WIN : KPK_DRAW;
        changed |= v != row[d];
        row[d] = v;
    }
    return changed;
}

bool kpk_clash(int pawn, int king, int defender) {
    return king == defender || king == pawn || defender == pawn || square_distance(king, defender) == 1;
}

}  // namespace

void init_kpk_table() {
    memset(kpk_table, 0, sizeof kpk_table);
    for (int rank = 0; rank < 8; rank++) {
        for (int file = 0; file < 4; file++) {
            int p = make_square(file, rank);
            for (int a = 0; a < 64; a++) {
                uint8_t* own = kpk_row(0, p, a);
                uint8_t* other = kpk_row(1, p, a);
                for (int d = 0; d < 64; d++) {
                    if (kpk_clash(p, a, d)) continue;  // stays illegal in both halves
                    if (rank == 7) {
                        own[d] = KPK_WIN;
                        other[d] = (square_distance(d, p) >= 2 || square_distance(a, p) == 1) ? KPK_WIN : KPK_UNKNOWN;
                    } else {
                        bool pawn_checks = d == p + 9 || (file > 0 && d == p + 7);
                        own[d] = pawn_checks ? KPK_ILLEGAL : KPK_UNKNOWN;
                        other[d] = KPK_UNKNOWN;
                    }
                }
            }
        }
    }
    bool changed = true;
    while (changed) {
        changed = false;
        for (int pass = 0; pass < 2; pass++)
            for (int rank = 1; rank < 7; rank++)
                for (int file = 0; file < 4; file++)
                    for (int a = 0; a < 64; a++) {
                        int p = make_square(file, rank);
                        changed |= pass == 0 ? kpk_pass_pawn_side(p, a) : kpk_pass_defender(p, a);
                    }
    }
    for (int mover = 0; mover < 2; mover++)
        for (int rank = 1; rank < 7; rank++)
            for (int file = 0; file < 4; file++)
                for (int a = 0; a < 64; a++) {
                    uint8_t* row = kpk_row(mover, make_square(file, rank), a);
                    for (int d = 0; d < 64; d++)
                        if (row[d] != KPK_WIN) row[d] = KPK_DRAW;
                }
}
