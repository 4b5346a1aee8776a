// Where a position sits inside a table: the format's orientation rules, the
// leading-group encodings (three unique men, two kings, leading pawns) and the
// combinatorial numbering of the other groups.
#pragma once
#include <cstdint>

#include "tablebase/tb_decode.h"
#include "tablebase/tb_moves.h"

// Fills the binomial, king-pair and pawn tables (once; main thread).
void tb_init_index_tables();
// n choose k for n = 0..64, k = 0..6; 0 when k > n.
uint64_t tb_binomial(int n, int k);
// Size of the leading group of p leading pawns (1..6) on file group g (0..3).
uint64_t tb_pawn_factor(int p, int g);

// The sub-table holding a position and the index in it. flip: colours
// exchanged and squares mirrored into the file's colours; side: the file's
// side to move. Null when the men do not fit the table's encoding.
const TbSubTable* tb_locate(const TbTable& table, const TbPosition& pos, bool flip, int side, uint64_t& index);
