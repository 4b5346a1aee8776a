// Decoding data of one mapped table file: for every sub-table the piece order
// and index factors, the canonical-code decoder of its compressed values and,
// in distance files, the value maps. Built once when the file is mapped, read
// by every probing thread without a lock afterwards.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tablebase/registry.h"

constexpr int TB_MAX_MEN = 7;

struct TbSubTable {
    // Index: the men in index order and their groups (leading group first,
    // then the second pawn group when there is one, then the ordinary groups).
    uint8_t pieces[TB_MAX_MEN];
    uint8_t groupLen[TB_MAX_MEN];
    uint64_t factor[TB_MAX_MEN];
    uint8_t groupCount;
    bool secondPawnGroup;
    uint64_t size;  // positions indexed

    // Values: a single value, or canonical codes over a pair grammar in blocks.
    uint8_t flags;  // distance files: stored side, maps, ply accuracy, map width
    bool single;
    uint8_t singleValue;
    uint8_t blockBits, idxBits, minLen, maxLen;
    uint16_t numSyms;
    uint32_t realBlocks, numBlocks;
    uint64_t numIdx;
    uint64_t base[33];    // smallest code of each length, left-aligned in 64 bits
    uint16_t offset[33];  // symbol of the first code of each length
    const uint8_t* symbols;
    const uint8_t* sparse;
    const uint8_t* blockLen;
    const uint8_t* blocks;
    uint32_t* valueCount;  // values each symbol stands for, minus one

    // Distance maps per result class (win, loss, cursed win, blessed loss).
    const uint8_t* map[4];
    uint16_t mapCount[4];
};

struct TbTable {
    int kind;
    int men;
    int groups;       // 1, or 4 leading-pawn files
    int sides;        // sub-tables per group: 2 in a split WDL file, else 1
    uint8_t leadCode; // pawnful: the leading pawns' code
    bool pawnful;
    TbSubTable sub[8];
    uint32_t* valueCounts;  // storage of every sub-table's valueCount
};

// Checks a mapped file against its entry and builds the decoding data;
// null when anything inside does not add up.
TbTable* tb_decode_init(const TbEntry& entry, int kind, const uint8_t* data, size_t size);
void tb_decode_free(TbTable* table);
// Stored value at an index: a WDL value 0..4 or a distance symbol; -1 when the data is damaged.
int tb_decode_value(const TbSubTable& sub, uint64_t index);
// A distance symbol through the map of result class cls; -1 when it is out of the map.
int tb_map_value(const TbSubTable& sub, int cls, int symbol);
