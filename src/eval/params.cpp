#include "eval/params.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

EvalParam param_table[PARAM_CAPACITY];
int param_count = 0;
int pst_start = 0;
EvalHandles eval_handles;

void register_param(const EvalParam*& handle, const char* name, int mg, int eg) {
    EvalParam& p = param_table[param_count];
    p.packed = make_score(mg, eg);
    p.mg = float(mg);
    p.eg = float(eg);
    snprintf(p.name, sizeof p.name, "%s", name);
    handle = &p;
    if (pst_start == 0 && strstr(name, "PST_")) pst_start = param_count;
    param_count++;
}

void register_param_zero(const EvalParam*& handle, const char* name) { register_param(handle, name, 0, 0); }

void init_eval_params() {
    EvalHandles& h = eval_handles;
    struct Scalar {
        const EvalParam** handle;
        const char* name;
        int value;  // registration value of both halves
    };
    const Scalar scalars[SCALAR_PARAM_COUNT] = {
        {&h.mtl_pawn, "mtl_pawn", 100},
        {&h.mtl_knight, "mtl_knight", 335},
        {&h.mtl_bishop, "mtl_bishop", 335},
        {&h.mtl_rook, "mtl_rook", 535},
        {&h.mtl_queen, "mtl_queen", 1000},
        {&h.bishop_pair, "bishop_pair", 0},
        {&h.knight_mobility, "knight_mobility", 0},
        {&h.bishop_mobility, "bishop_mobility", 0},
        {&h.rook_mobility, "rook_mobility", 0},
        {&h.queen_mobility, "queen_mobility", 0},
        {&h.ppawn_base, "ppawn_base", 0},
        {&h.ppawn_mobile, "ppawn_mobile", 0},
        {&h.ppawn_free, "ppawn_free", 0},
        {&h.ppawn_connected, "ppawn_connected", 0},
        {&h.ppawn_fkprox, "ppawn_fkprox", 0},
        {&h.ppawn_ekprox, "ppawn_ekprox", 0},
        {&h.ppawn_candidate, "ppawn_candidate", 0},
        {&h.pawn_isolated, "pawn_isolated", 0},
        {&h.pawn_weak, "pawn_weak", 0},
        {&h.pawn_blocked, "pawn_blocked", 0},
        {&h.pawn_doubled, "pawn_doubled", 0},
        {&h.knight_outpost, "knight_outpost", 0},
        {&h.bishop_infiltration, "bishop_infiltration", 0},
        {&h.bishop_outpost, "bishop_outpost", 0},
        {&h.bishop_rampawns, "bishop_rampawns", 0},
        {&h.rook_infiltration, "rook_infiltration", 0},
        {&h.rook_openfile, "rook_openfile", 0},
        {&h.rook_7th, "rook_7th", 0},
        {&h.pawn_shield, "pawn_shield", 0},
        {&h.enemy_checks, "enemy_checks", 0},
        {&h.king_danger1, "king_danger1", 0},
        {&h.king_danger2, "king_danger2", 0},
        {&h.king_trapped, "king_trapped", 0},
        {&h.king_pawn_dist, "king_pawn_dist", 0},
        {&h.hung_pawn, "hung_pawn", 0},
        {&h.attacked_pawn, "attacked_pawn", 0},
        {&h.hung_minor, "hung_minor", 0},
        {&h.attacked_minor, "attacked_minor", 0},
        {&h.hung_major, "hung_major", 0},
        {&h.ppush_threat, "ppush_threat", 0},
        {&h.pinned_piece, "pinned_piece", 0},
        {&h.mtl_imbalance, "mtl_imbalance", 0},
        {&h.stm_bonus, "stm_bonus", 0},
    };
    param_count = 0;
    pst_start = 0;
    for (const Scalar& s : scalars) register_param(*s.handle, s.name, s.value, s.value);

    static const char* const pst_names[PST_COUNT] = {"PST_P1", "PST_P2", "PST_CP", "PST_DP", "PST_N",
                                                     "PST_B",  "PST_R",  "PST_Q",  "PST_K"};
    for (int t = 0; t < PST_COUNT; t++)
        for (int sq = 0; sq < 64; sq++) register_param_zero(h.pst[t][sq], pst_names[t]);
    const EvalParam* spare;
    for (int i = 0; i < TTUNE_COUNT; i++) register_param_zero(spare, "ttune");
}

// A line ends at a line feed, a carriage return or a blank.
static bool ends_line(char c) { return c == '\n' || c == '\r' || c == ' ' || c == 0; }

// Decimal value of the field at p (0 when there is none); p moves past its comma.
static int next_field(const char*& p, const char* end) {
    int value = int(strtol(p, nullptr, 10));
    while (p < end && *p != ',') p++;
    if (p < end) p++;
    return value;
}

void load_param_text(const char* text) {
    // The lines are cut out of a private copy; the caller's text stays as it is.
    std::string buffer(text);
    const char* p = buffer.c_str();
    const char* stop = p + buffer.size();
    int index = 0;
    while (p < stop) {
        const char* line = p;
        while (p < stop && !ends_line(*p)) p++;
        std::string used(line, size_t(p - line));
        if (p < stop) p++;
        if (used.size() < 5 || used.find("start") != std::string::npos || used.find('(') != std::string::npos ||
            used.find(')') != std::string::npos)
            continue;
        size_t comma = used.find(',');
        std::string name = used.substr(0, comma);
        int pairs = name.find("PST") != std::string::npos ? 64 : name.find("ttune") != std::string::npos ? 32 : 1;
        if (name == "mtl_pawn") index = 0;
        const char* field = comma == std::string::npos ? used.c_str() + used.size() : used.c_str() + comma + 1;
        const char* field_end = used.c_str() + used.size();
        for (int i = 0; i < pairs; i++) {
            if (index >= PARAM_CAPACITY) {
                printf("parameter text has more values than the table (%d)\n", PARAM_CAPACITY);
                fflush(stdout);
                return;
            }
            int mg = field < field_end ? next_field(field, field_end) : 0;
            int eg = field < field_end ? next_field(field, field_end) : 0;
            EvalParam& entry = param_table[index];
            if (name != entry.name) {
                printf("error %s  %s\n", name.c_str(), entry.name);
                fflush(stdout);
            }
            entry.packed = make_score(mg, eg);
            entry.mg = float(mg);
            entry.eg = float(eg);
            index++;
        }
    }
}

std::string param_text() {
    std::string out = "start\n";
    char number[32];
    for (int i = 0; i < param_count;) {
        const char* name = param_table[i].name;
        int pairs = strstr(name, "PST") ? 64 : strstr(name, "ttune") ? 32 : 1;
        out += name;
        for (int k = 0; k < pairs && i < param_count; k++, i++) {
            snprintf(number, sizeof number, ",%d,%d", int(param_table[i].mg), int(param_table[i].eg));
            out += number;
        }
        out += '\n';
    }
    return out;
}
