// Margins and reduction tables, rebuilt from the settings at every search start.
#pragma once
#include <cstdint>

struct Selectivity {
    int16_t fp_depth, sep_depth, nmp_depth, lmp_depth, lmr_depth;
    int32_t fp_margin[8];   // razoring margin by depth
    int32_t sep_margin[8];  // static-pruning margin by depth
    int8_t lmr_pv[32][32];  // reduction by [depth][moves searched]
    int8_t lmr_other[32][32];
};

extern Selectivity selectivity;

void build_selectivity();
void print_selectivity();

inline int fp_margin(int depth) { return depth <= 7 ? selectivity.fp_margin[depth] : 9000; }
inline int sep_margin(int depth) { return depth <= 7 ? selectivity.sep_margin[depth] : 9000; }
