// The table files along SyzygyPath: which exist, the entry of each material,
// the registry that finds an entry by material key, and the lazy mapping of
// a file the first time a probe needs it.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tablebase/tb_moves.h"

enum TbKind : int { TB_WDL = 0, TB_DTM = 1, TB_DTZ = 2 };

struct TbTable;  // decoding data of one mapped file

struct TbEntry {
    uint64_t matKey;               // key of the material as named (first side = the file's white)
    std::atomic<bool> loaded[3];   // per kind: mapped and decoding data complete
    std::atomic<bool> dropped;     // found damaged: reported once, out of the registry
    uint8_t menCount;
    bool sameBothSides;
    bool pawnful;
    bool kingPairCode;             // pawnless with only the kings unique
    bool dtmPresent, dtzPresent;
    uint8_t pawns[2];              // pawns of the leading colour, then of the other
    uint8_t counts[16];            // men per piece code, in the file's colours
    char name[16];
    const uint8_t* data[3];        // per kind: the mapping, or null
    size_t size[3];
    TbTable* table[3];
};

// Registers every table file found along SyzygyPath (dropping any earlier set-up)
// and prints the summary line. Main thread, no search running.
void tb_setup();
// Frees every mapping and entry (at exit).
void tb_free();
// Opens directory + name + extension in path order: a file descriptor, or -1.
int tb_find_file(const char* name, const char* extension);
void tb_release_entry(TbEntry& entry);
// Men of the largest table found; 0 without tables.
int tb_max_men();

// Material key of a position; mirrored exchanges the colours.
uint64_t tb_material_key(const TbPosition& pos, bool mirrored);
// The entry of a material key, or null (no file, or dropped).
TbEntry* tb_find_entry(uint64_t key);
// The decoding data of one kind, mapping the file on first use (any thread);
// null when the file is missing or damaged (then reported and dropped).
const TbTable* tb_table(TbEntry& entry, int kind);
// A damaged file found while decoding: reported once, the material dropped.
void tb_report_corrupted(TbEntry& entry, int kind);
