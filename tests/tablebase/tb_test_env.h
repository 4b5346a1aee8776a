// Shared by the tablebase tests: tables along a path, probes, the moves the
// engine's own generator makes, and table files made for the tests (copies,
// and WDL tables of one value for materials the shared set lacks).
#pragma once
#include <cstring>

#include "tablebase/registry.h"
#include "tablebase/tb_probe.h"
#include "test_support.h"

// Registers the tables along path; returns what the set-up printed.
inline std::string use_tables(const std::string& path = shared_path("syzygy")) {
    set_default_options();
    copy_text(options.syzygy_path, path.c_str());
    testing::internal::CaptureStdout();
    tb_setup();
    return testing::internal::GetCapturedStdout();
}

// The engine's position of a FEN, in one record kept for the tests.
inline Position& engine_position(const std::string& fen) {
    static std::unique_ptr<ThreadBoard> board = board_from(START_FEN);
    EXPECT_EQ(set_fen(board->pos, fen.c_str()), 0) << fen;
    return board->pos;
}
inline TbPosition tb_from_fen(const char* fen) { return tb_position_from(engine_position(fen), 0); }

struct Probe {
    int value, success;
    bool operator==(const Probe&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Probe& p) { return out << p.value << " (success " << p.success << ")"; }
inline Probe wdl_of(const TbPosition& pos) {
    Probe p;
    p.value = tb_probe_wdl_full(pos, p.success);
    return p;
}
inline Probe dtz_of(const TbPosition& pos) {
    Probe p;
    p.value = tb_probe_dtz(pos, p.success);
    return p;
}

struct Child {
    Move move;
    bool zeroing, mate;
    TbPosition pos;
};
// Every legal move of pos and the position after it.
inline std::vector<Child> children_of(Position& pos) {
    std::vector<Child> children;
    for (Move m : legal_moves(*pos.owner)) {
        const bool zeroing = pos.board[move_to(m)] || piece_type(pos.board[move_from(m)]) == PAWN;
        make_move(pos, m);
        const TbPosition after = tb_position_from(pos, 0);
        children.push_back({m, zeroing, tb_is_mate(after), after});
        unmake_move(pos);
    }
    return children;
}

// The bytes of a shared table file ("KQvK.rtbw", ...), and a scratch directory holding copies of some.
inline std::string shared_table(const std::string& file) { return read_file(shared_path("syzygy/" + file)); }

inline std::string copy_tables(const std::vector<std::string>& files) {
    std::string dir = make_scratch_dir("tb");
    for (const std::string& f : files) write_file(dir + "/" + f, shared_table(f));
    return dir;
}

// A valid WDL file for the material name (Syzygy naming) in which every
// position with the file's white to move has value white, every other black
// (stored values 0 loss .. 4 win).
inline void write_uniform_table(const std::string& dir, const std::string& name, int white, int black) {
    // Men per piece code in the file's colours: the first side is white.
    const char* letters = "PNBRQK";
    int counts[16] = {}, men = 0;
    for (size_t i = 0, color = 0; i < name.size(); i++) {
        if (name[i] == 'v') {
            color = 8;
            continue;
        }
        counts[int(strchr(letters, name[i]) - letters) + 1 + int(color)]++;
        men++;
    }
    bool pawnful = counts[1] + counts[9] > 0, second_order = counts[1] > 0 && counts[9] > 0;
    bool symmetric = name.substr(0, name.find('v')) == name.substr(name.find('v') + 1);
    // Index order: the leading group first (three unique men, the two kings,
    // or the leading pawns and then the other pawns), then equal men together.
    std::string order;
    auto take = [&](int code, int count) {
        for (int k = 0; k < count; k++) order += char(code);
        counts[code] -= count;
    };
    if (pawnful) {
        int lead = counts[9] > 0 && (counts[1] == 0 || counts[9] < counts[1]) ? 9 : 1;
        take(lead, counts[lead]);
        take(lead ^ 8, counts[lead ^ 8]);
    } else {
        int unique = 0;
        for (int c : counts) unique += c == 1;
        for (int code = 1, taken = 0; code < 16 && taken < (unique >= 3 ? 3 : 0); code++)
            if (counts[code] == 1) take(code, 1), taken++;
        if (unique < 3) take(6, 1), take(14, 1);
    }
    for (int code = 1; code < 16; code++) take(code, counts[code]);

    std::string bytes = "\x71\xe8\x23\x5d";
    bytes += char((symmetric ? 0 : 1) | (pawnful ? 2 : 0) | men << 4);
    for (int g = 0; g < (pawnful ? 4 : 1); g++) {
        bytes += char(0x00);
        if (second_order) bytes += char(0x11);
        for (char code : order) bytes += char(code | code << 4);
    }
    if (bytes.size() % 2) bytes += char(0);
    for (int g = 0; g < (pawnful ? 4 : 1); g++) {
        bytes += "\x80";
        bytes += char(white);
        if (!symmetric) bytes += "\x80", bytes += char(black);
    }
    bytes.append((64 - bytes.size() % 64) % 64, char(0));
    bytes.append(16, char(0));  // where the generator puts its checksum
    write_file(dir + "/" + name + ".rtbw", bytes);
}
