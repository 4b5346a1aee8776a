// KeyTable: 1024 random keys indexed by piece code * 64 + square. Row 0 holds
// the castling-rights keys (index = rights) and the en-passant keys (index = square).
#pragma once
#include <cstdint>

extern uint64_t KeyTable[1024];

// Fills KeyTable with the two-stream multiply-with-carry generator (once per process).
void init_keys();
