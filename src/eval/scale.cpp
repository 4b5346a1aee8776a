#include "eval/scale.h"

#include <cstdlib>
#include <initializer_list>

namespace {

constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAull;

// The counts of one side as the tree reads them.
struct SideMaterial {
    int pawns, knights, bishops, rooks, minors, weight;
    Bitboard bishop_squares, pawn_squares;
};

SideMaterial side_material(const Position& pos, int c) {
    uint32_t m = pos.material[c];
    SideMaterial s;
    s.pawns = material_count(m, PAWN);
    s.knights = material_count(m, KNIGHT);
    s.bishops = material_count(m, BISHOP);
    s.rooks = material_count(m, ROOK);
    s.minors = s.knights + s.bishops;
    s.weight = 3 * s.minors + 5 * s.rooks + 9 * material_count(m, QUEEN);
    s.bishop_squares = pos.pieces[c][BISHOP];
    s.pawn_squares = pos.pieces[c][PAWN];
    return s;
}

bool near_corner(int king, int corner) {
    return std::abs(file_of(king) - file_of(corner)) <= 1 && std::abs(rank_of(king) - rank_of(corner)) <= 1;
}

// A rook pawn whose queening corner the defending king holds, with no bishop to drive it away.
bool rook_pawn_fortress(const SideMaterial& s, int strong, int defender) {
    int promotion_rank = strong == 0 ? 7 : 0;
    for (int file : {0, 7}) {
        if (s.pawn_squares & ~file_bb(file)) continue;
        int corner = make_square(file, promotion_rank);
        Bitboard corner_colour = (LIGHT_SQUARES >> corner) & 1 ? LIGHT_SQUARES : ~LIGHT_SQUARES;
        if (!(s.bishop_squares & corner_colour) && near_corner(defender, corner)) return true;
    }
    return false;
}

}  // namespace

// The tree works from the side the score favours ("strong") against the other ("weak"),
// so that colour-flipped positions scale alike.
float endgame_scale(const Position& pos, int white_score) {
    SideMaterial w = side_material(pos, 0), b = side_material(pos, 1);
    if (w.weight > 8 || b.weight > 8 || std::abs(w.weight - b.weight) > 3) return 1.0f;
    if (white_score == 0) return 0.0f;
    int strong_side = white_score > 0 ? 0 : 1;
    const SideMaterial& s = strong_side == 0 ? w : b;
    const SideMaterial& o = strong_side == 0 ? b : w;

    bool one_bishop_each = s.bishops == 1 && o.bishops == 1;
    Bitboard bishops = s.bishop_squares | o.bishop_squares;
    bool opposite_bishops = (bishops & LIGHT_SQUARES) && (bishops & ~LIGHT_SQUARES);
    bool close_material = std::abs(s.pawns + s.weight - o.weight - o.pawns) <= 2;

    // Without pawns the strong side gets f1; with them f, lowered further when a
    // single pawn faces a minor piece and brings no extra material.
    auto finish = [&](float f1, float f) {
        if (s.pawns == 0) return f1;
        if (s.pawns == 1 && s.weight <= o.weight && o.minors > 0) return 0.75f * f;
        return f;
    };
    auto bishops_of_opposite_colour = [&]() {
        return close_material && opposite_bishops ? finish(0.325f, 0.5f) : finish(0.65f, 1.0f);
    };

    if (s.knights + s.rooks > 0) {
        if (s.rooks || o.rooks || !one_bishop_each) return finish(0.65f, 1.0f);
        return bishops_of_opposite_colour();
    }
    // The strong side has bishops and pawns only.
    if (s.pawns == 0) return o.rooks == 0 && one_bishop_each ? bishops_of_opposite_colour() : 0.65f;
    if (rook_pawn_fortress(s, strong_side, pos.kingSq[strong_side ^ 1])) return 0.05f;
    if (o.rooks || !one_bishop_each) return finish(0.65f, 1.0f);
    return bishops_of_opposite_colour();
}
