// Table files: a fuzzed copy of one real file (the leading byte picks which:
// the name decides the material) beside the real file of the other kind,
// registered afresh for every input, then WDL, DTZ, the search's probe and
// the root move on positions of that material.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/settings.h"
#include "fuzz_support.h"
#include "tablebase/registry.h"
#include "tablebase/tb_probe.h"

namespace {

struct Material {
    const char* name;
    const char* white;  // white's men after the king, as FEN letters; black has a lone king
};
const Material MATERIALS[] = {{"KQvK", "Q"}, {"KRvK", "R"}, {"KPvK", "P"}, {"KBNvK", "BN"}};
const char* const EXTENSIONS[] = {".rtbw", ".rtbz"};
constexpr int POSITIONS = 24;

// A position of the material from a seed, with a fifty-move count that lets
// the root probe act; set_fen decides whether it is legal.
std::string position_text(const Material& m, uint32_t& seed) {
    char board[64];
    for (char& c : board) c = 0;
    std::string men = std::string("K") + m.white + "k";
    for (char man : men) {
        int sq;
        do {
            seed = seed * 1664525u + 1013904223u;
            sq = int(seed >> 26);
        } while (board[sq]);
        board[sq] = man;
    }
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            char c = board[rank * 8 + file];
            if (!c) {
                empty++;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (rank) fen += '/';
    }
    return fen + (seed & 1 ? " b" : " w") + " - - 12 40";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ThreadBoard& tb = fuzz_start_engine();
    if (size < 1) return 0;
    const Material& m = MATERIALS[data[0] % 4];
    const int kind = data[0] / 4 % 2;
    const std::string& dir = fuzz_scratch_dir();
    const std::string fuzzed = dir + "/" + m.name + EXTENSIONS[kind];
    const std::string other = dir + "/" + m.name + EXTENSIONS[1 - kind];
    for (const Material& each : MATERIALS)
        for (const char* extension : EXTENSIONS) unlink((dir + "/" + each.name + extension).c_str());

    // Lengths that are not 64 k + 16 are refused at once; keep most inputs past that check.
    size_t length = size - 1;
    if (length > 16) length -= (length - 16) % 64;
    fuzz_write_file(fuzzed, data + 1, length);
    if (symlink((std::string(QUOX_SHARED_DIR) + "/syzygy/" + m.name + EXTENSIONS[1 - kind]).c_str(), other.c_str()))
        abort();

    copy_text(options.syzygy_path, sizeof options.syzygy_path, dir.c_str());
    tb_setup();
    uint32_t seed = 12345;
    for (int i = 0; i < POSITIONS; i++) {
        const std::string fen = position_text(m, seed);
        if (set_fen(tb.pos, fen.c_str()) != 0) continue;
        const TbPosition p = tb_position_from(tb.pos, 12);
        int success;
        tb_probe_wdl_full(p, success);
        tb_probe_dtz(p, success);
        tb_probe_wdl(tb.pos, 80);
        Move move;
        int result;
        tb_root_move(tb.pos, move, result);
    }
    return 0;
}
