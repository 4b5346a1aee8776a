#include "tablebase/tb_index.h"

#include <algorithm>

namespace {

uint64_t binomial[7][65];
int16_t king_pair[64][64];  // -1 where the pair has no number (adjacent kings, unused halves)
uint64_t pawn_index[6][24];
uint64_t pawn_factor[6][4];
int8_t triangle[64];        // the ten squares the first man is brought to, -1 elsewhere

constexpr int TRIANGLE_SQUARES[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};  // b1 c1 d1 c2 d2 d3 a1 b2 c3 d4

bool on_diagonal(int sq) { return file_of(sq) == rank_of(sq); }
int flip_diagonal(int sq) { return 8 * file_of(sq) + rank_of(sq); }
int diagonal_index(int sq) { return rank_of(sq); }
// Squares below the a1-h8 diagonal numbered rank by rank: b1..h1 = 0..6, c2 = 7, ..., h7 = 27.
int below_index(int sq) {
    int r = rank_of(sq);
    return 7 * r - r * (r - 1) / 2 + file_of(sq) - r - 1;
}
// Pawn squares in leading-pawn order: a2 = 0 ... a7 = 5, b2 = 6 ... d7 = 23 (files mirrored).
int lead_order(int sq) { return 6 * std::min(file_of(sq), 7 - file_of(sq)) + rank_of(sq) - 1; }
// The other numbering of pawn squares: a2 = 47, h2 = 46, a3 = 45, ..., e7 = 0.
int pawn_weight(int sq) {
    int f = file_of(sq), r = rank_of(sq) - 1;
    return f <= 3 ? 47 - 12 * f - 2 * r : 46 - 12 * (7 - f) - 2 * r;
}

void fill_king_pairs() {
    for (auto& row : king_pair) std::fill(std::begin(row), std::end(row), int16_t(-1));
    int counter = 0;
    for (int t = 0; t < 10; t++) {
        int a = TRIANGLE_SQUARES[t];
        for (int b = 0; b < 64; b++)
            if (square_distance(a, b) > 1 && (t < 6 || file_of(b) > rank_of(b))) king_pair[a][b] = int16_t(counter++);
    }
    for (int t = 6; t < 10; t++) {
        int a = TRIANGLE_SQUARES[t];
        for (int b = 0; b < 64; b++)
            if (square_distance(a, b) > 1 && on_diagonal(b)) king_pair[a][b] = int16_t(counter++);
    }
}

void fill_pawn_tables() {
    for (int k = 0; k < 6; k++)
        for (int g = 0; g < 4; g++) {
            uint64_t sum = 0;
            for (int r = 0; r < 6; r++) {
                pawn_index[k][6 * g + r] = sum;
                sum += binomial[k][pawn_weight(8 * (r + 1) + g)];
            }
            pawn_factor[k][g] = sum;
        }
}

void insertion_sort(uint8_t* first, int count, bool (*before)(int, int)) {
    for (int i = 1; i < count; i++)
        for (int j = i; j > 0 && before(first[j], first[j - 1]); j--) std::swap(first[j], first[j - 1]);
}

// Index of the subset sq[start..start+count) among the squares left free by
// sq[0..earlier), shifted down by offset (pawns start on the second rank).
uint64_t subset_index(uint8_t* sq, int start, int count, int earlier, int offset) {
    insertion_sort(sq + start, count, [](int a, int b) { return a < b; });
    uint64_t index = 0;
    for (int m = 0; m < count; m++) {
        int x = sq[start + m], y = x - offset;
        for (int j = 0; j < earlier; j++) y -= sq[j] < x;
        index += binomial[m + 1][y];
    }
    return index;
}

// Three unique leading men, the first brought into the b1-d1-d3 triangle.
uint64_t triple_index(const uint8_t* sq) {
    int a = sq[0], b = sq[1], c = sq[2];
    int u = b > a, v = (c > a) + (c > b);
    if (!on_diagonal(a)) return uint64_t(triangle[a] * 3906 + (b - u) * 62 + (c - v));
    if (!on_diagonal(b)) return uint64_t(23436 + diagonal_index(a) * 1736 + below_index(b) * 62 + (c - v));
    if (!on_diagonal(c)) return uint64_t(30380 + diagonal_index(a) * 196 + (diagonal_index(b) - u) * 28 + below_index(c));
    return uint64_t(31164 + diagonal_index(a) * 42 + (diagonal_index(b) - u) * 6 + (diagonal_index(c) - v));
}

void transform(uint8_t* sq, int n, int (*f)(int)) {
    for (int j = 0; j < n; j++) sq[j] = uint8_t(f(sq[j]));
}

// Pawnless: all eight symmetries bring the first man into the triangle and
// the first leading man off the diagonal below it.
bool pawnless_lead(const TbSubTable& sub, uint8_t* sq, int n, uint64_t& lead) {
    if (file_of(sq[0]) >= 4) transform(sq, n, [](int s) { return s ^ 7; });
    if (rank_of(sq[0]) >= 4) transform(sq, n, [](int s) { return s ^ 56; });
    int leading = sub.groupLen[0];
    for (int j = 0; j < leading; j++) {
        if (on_diagonal(sq[j])) continue;
        if (rank_of(sq[j]) > file_of(sq[j])) transform(sq, n, flip_diagonal);
        break;
    }
    if (leading == 3) {
        lead = triple_index(sq);
        return triangle[sq[0]] >= 0;
    }
    int pair = king_pair[sq[0]][sq[1]];
    lead = uint64_t(pair);
    return pair >= 0;
}

// Pawns: only the mirror between the wings, with the leading pawn on files a-d.
uint64_t pawn_lead(uint8_t* sq, int n, int pawns) {
    if (file_of(sq[0]) >= 4) transform(sq, n, [](int s) { return s ^ 7; });
    insertion_sort(sq + 1, pawns - 1, [](int a, int b) { return pawn_weight(a) > pawn_weight(b); });
    uint64_t lead = pawn_index[pawns - 1][lead_order(sq[0])];
    for (int i = 1; i < pawns; i++) lead += binomial[pawns - i][pawn_weight(sq[i])];
    return lead;
}

bool pawn_square(int sq) { return rank_of(sq) >= 1 && rank_of(sq) <= 6; }

}  // namespace

void tb_init_index_tables() {
    for (int k = 0; k < 7; k++)
        for (int n = 0; n <= 64; n++)
            binomial[k][n] = k == 0 ? 1 : n == 0 ? 0 : binomial[k - 1][n - 1] + binomial[k][n - 1];
    std::fill(std::begin(triangle), std::end(triangle), int8_t(-1));
    for (int t = 0; t < 10; t++) triangle[TRIANGLE_SQUARES[t]] = int8_t(t);
    fill_king_pairs();
    fill_pawn_tables();
}

uint64_t tb_binomial(int n, int k) { return n < 0 || k > 6 ? 0 : binomial[k][n]; }
uint64_t tb_pawn_factor(int p, int g) { return pawn_factor[p - 1][g]; }

const TbSubTable* tb_locate(const TbTable& table, const TbPosition& pos, bool flip, int side, uint64_t& index) {
    int n = table.men, mirror = flip ? 56 : 0;
    if (n > TB_MAX_MEN) return nullptr;
    auto men = [&](int code) { return tb_pieces(pos, (code >> 3) ^ int(flip), code & 7); };
    uint8_t sq[TB_MAX_MEN];
    const TbSubTable* sub;
    uint64_t left = 0;
    int first = 0;
    if (table.pawnful) {
        left = men(table.leadCode);
        int lead = -1;
        for (uint64_t b = left; b;) {
            int s = pop_lsb(b) ^ mirror;
            if (!pawn_square(s)) return nullptr;
            if (lead < 0 || lead_order(s) < lead_order(lead)) lead = s;
        }
        if (lead < 0) return nullptr;
        left &= ~square_bb(lead ^ mirror);
        int group = std::min(file_of(lead), 7 - file_of(lead));
        sub = &table.sub[group * table.sides + (table.sides == 2 ? side : 0)];
        sq[0] = uint8_t(lead);
        first = 1;
    } else {
        sub = &table.sub[table.sides == 2 ? side : 0];
    }
    for (int j = first; j < n; j++) {
        int code = sub->pieces[j];
        if (j == 0 || code != sub->pieces[j - 1]) left = men(code);
        if (!left) return nullptr;
        sq[j] = uint8_t(pop_lsb(left) ^ mirror);
    }

    uint64_t lead;
    int next = 1, start = sub->groupLen[0];
    index = 0;
    if (!table.pawnful) {
        if (!pawnless_lead(*sub, sq, n, lead)) return nullptr;
    } else {
        for (int j = 0; j < n; j++)
            if ((sub->pieces[j] & 7) == PAWN && !pawn_square(sq[j])) return nullptr;
        lead = pawn_lead(sq, n, start);
        if (sub->secondPawnGroup) {
            index = subset_index(sq, start, sub->groupLen[1], start, 8) * sub->factor[1];
            start += sub->groupLen[1];
            next = 2;
        }
    }
    index += lead * sub->factor[0];
    for (int g = next; g < sub->groupCount; g++) {
        index += subset_index(sq, start, sub->groupLen[g], start, 0) * sub->factor[g];
        start += sub->groupLen[g];
    }
    return index < sub->size ? sub : nullptr;
}
