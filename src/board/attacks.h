// Attack tables and the classical-ray slider lookup, and the KPK win table.
#pragma once
#include "board/types.h"

extern Bitboard RayN[64], RayS[64], RayE[64], RayW[64];
extern Bitboard RayNW[64], RayNE[64], RaySW[64], RaySE[64];
extern Bitboard BishopFull[64], RookFull[64];
extern Bitboard KnightAttacks[64], KingAttacks[64];
extern Bitboard PawnAttacks[2][64];
extern Bitboard Between[64][64];

// [mover][pawn index][pawn side's king][defending king]: 2 win, 1 draw (0 illegal).
// Mover 0 is the pawn's side; the pawn is seen as white on files a-d,
// pawn index = rank * 4 + file.
extern uint8_t kpk_table[2 * 32 * 64 * 64];

// Offset of an entry; pawn is a square on files a-d.
constexpr int kpk_index(int mover, int pawn, int king, int defender) {
    return mover * 131072 + (rank_of(pawn) * 4 + file_of(pawn)) * 4096 + king * 64 + defender;
}

void init_tables();
void init_kpk_table();

// Branch-free: the ray beyond the first blocker is XORed away; sentinel bits
// 63 (positive rays) and 0 (negative rays) keep empty rays harmless.
inline Bitboard bishop_attacks(int sq, Bitboard occ) {
    int nw = lsb((RayNW[sq] & occ) | square_bb(63));
    int ne = lsb((RayNE[sq] & occ) | square_bb(63));
    int sw = msb((RaySW[sq] & occ) | 1);
    int se = msb((RaySE[sq] & occ) | 1);
    return BishopFull[sq] ^ RayNW[nw] ^ RayNE[ne] ^ RaySW[sw] ^ RaySE[se];
}

inline Bitboard rook_attacks(int sq, Bitboard occ) {
    int n = lsb((RayN[sq] & occ) | square_bb(63));
    int e = lsb((RayE[sq] & occ) | square_bb(63));
    int s = msb((RayS[sq] & occ) | 1);
    int w = msb((RayW[sq] & occ) | 1);
    return RookFull[sq] ^ RayN[n] ^ RayE[e] ^ RayS[s] ^ RayW[w];
}
