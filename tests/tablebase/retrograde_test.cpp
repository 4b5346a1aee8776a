// Every legal position of KQvK, KRvK and KPvK, in both colour assignments,
// against a retrograde solve of the test's own: WDL everywhere, DTZ wherever
// the table stores the side to move.
#include <algorithm>
#include <vector>

#include "tb_test_env.h"

namespace {

constexpr int8_t WIN = 2, DRAW = 0, LOSS = -2, UNKNOWN = 1, ILLEGAL = 99;
constexpr int POSITIONS = 2 * 64 * 64 * 64;

int index_of(int stm, int wk, int bk, int x) { return ((stm * 64 + wk) * 64 + bk) * 64 + x; }

Bitboard man_attacks(int piece, int x, Bitboard occ) {
    if (piece == QUEEN) return bishop_attacks(x, occ) | rook_attacks(x, occ);
    return piece == ROOK ? rook_attacks(x, occ) : PawnAttacks[WHITE][x];
}

// A move of the three-man board: to another position of the same material,
// or out of it (capture, promotion) with its value settled for the mover.
struct Edge {
    int child;  // -1 when the value is settled
    bool zeroing;
    int value;
};

// White king, black king and one white man (queen, rook or pawn).
struct Solve {
    int piece;
    std::vector<int8_t> wdl = std::vector<int8_t>(POSITIONS, ILLEGAL);  // side to move's view
    std::vector<int16_t> dtz = std::vector<int16_t>(POSITIONS, -1);     // plies to zeroing or mate
    std::vector<int> first = std::vector<int>(POSITIONS + 1, 0);
    std::vector<Edge> edges;
    int legal = 0;
};

bool in_check(int piece, int stm, int wk, int bk, int x) {
    return stm == BLACK && (man_attacks(piece, x, square_bb(wk) | square_bb(bk)) & square_bb(bk));
}

bool is_legal(int piece, int stm, int wk, int bk, int x) {
    if (wk == bk || x == wk || x == bk || square_distance(wk, bk) < 2) return false;
    if (piece == PAWN && (rank_of(x) == 0 || rank_of(x) == 7)) return false;
    return !in_check(piece, stm ^ 1, wk, bk, x);
}

void add_moves(Solve& s, int stm, int wk, int bk, int x, const Solve* queen, const Solve* rook) {
    int piece = s.piece;
    if (stm == BLACK) {
        for (Bitboard b = KingAttacks[bk]; b;) {
            int t = pop_lsb(b);
            if (square_distance(t, wk) < 2 || (t != x && (man_attacks(piece, x, square_bb(wk)) & square_bb(t)))) continue;
            s.edges.push_back(t == x ? Edge{-1, true, DRAW} : Edge{index_of(WHITE, wk, t, x), false, 0});
        }
        return;
    }
    for (Bitboard b = KingAttacks[wk]; b;) {
        int t = pop_lsb(b);
        if (t != x && square_distance(t, bk) > 1) s.edges.push_back({index_of(BLACK, t, bk, x), false, 0});
    }
    if (piece != PAWN) {
        for (Bitboard b = man_attacks(piece, x, square_bb(wk) | square_bb(bk)) & ~square_bb(wk); b;)
            s.edges.push_back({index_of(BLACK, wk, bk, pop_lsb(b)), false, 0});
        return;
    }
    int one = x + 8;
    if (one == wk || one == bk) return;
    if (rank_of(one) == 7) {
        s.edges.push_back({-1, true, -queen->wdl[size_t(index_of(BLACK, wk, bk, one))]});
        s.edges.push_back({-1, true, -rook->wdl[size_t(index_of(BLACK, wk, bk, one))]});
        s.edges.push_back({-1, true, DRAW});  // bishop or knight
        return;
    }
    s.edges.push_back({index_of(BLACK, wk, bk, one), true, 0});
    if (rank_of(x) == 1 && one + 8 != wk && one + 8 != bk) s.edges.push_back({index_of(BLACK, wk, bk, one + 8), true, 0});
}

int edge_value(const Solve& s, const Edge& e) { return e.child < 0 ? e.value : -s.wdl[size_t(e.child)]; }

void solve_wdl(Solve& s) {
    for (int i = 0; i < POSITIONS; i++)
        if (s.wdl[size_t(i)] != ILLEGAL && s.first[size_t(i)] == s.first[size_t(i) + 1])
            s.wdl[size_t(i)] = in_check(s.piece, i >> 18, (i >> 12) & 63, (i >> 6) & 63, i & 63) ? LOSS : DRAW;
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = 0; i < POSITIONS; i++) {
            if (s.wdl[size_t(i)] != UNKNOWN) continue;
            bool win = false, all_lose = true;
            for (int k = s.first[size_t(i)]; k < s.first[size_t(i) + 1]; k++) {
                int v = edge_value(s, s.edges[size_t(k)]);
                win |= v == WIN;
                all_lose &= v == LOSS;
            }
            if (win || all_lose) {
                s.wdl[size_t(i)] = win ? WIN : LOSS;
                changed = true;
            }
        }
    }
    for (int8_t& v : s.wdl)
        if (v == UNKNOWN) v = DRAW;
}

// Distances settle in rounds: a win in d plies needs a loss in d - 1 behind a
// non-zeroing move; a loss is settled once all its moves are.
void solve_dtz(Solve& s) {
    for (int i = 0; i < POSITIONS; i++)
        if (s.wdl[size_t(i)] == LOSS && s.first[size_t(i)] == s.first[size_t(i) + 1]) s.dtz[size_t(i)] = 0;
    std::vector<std::pair<int, int>> settled;
    for (int d = 1; d < 1000; d++) {
        settled.clear();
        for (int i = 0; i < POSITIONS; i++) {
            int w = s.wdl[size_t(i)];
            if ((w != WIN && w != LOSS) || s.dtz[size_t(i)] >= 0) continue;
            int longest = 0;
            bool found = false, open = false;
            for (int k = s.first[size_t(i)]; k < s.first[size_t(i) + 1]; k++) {
                const Edge& e = s.edges[size_t(k)];
                int child_dtz = e.child < 0 ? -1 : s.dtz[size_t(e.child)];
                if (w == WIN)
                    found |= edge_value(s, e) == WIN && (e.zeroing ? d == 1 : child_dtz == d - 1);
                else if (!e.zeroing && child_dtz < 0)
                    open = true;
                else
                    longest = std::max(longest, e.zeroing ? 1 : child_dtz + 1);
            }
            if (found || (w == LOSS && !open)) settled.push_back({i, w == WIN ? d : longest});
        }
        if (settled.empty()) break;
        for (auto [i, value] : settled) s.dtz[size_t(i)] = int16_t(value);
    }
}

Solve solve(int piece, const Solve* queen = nullptr, const Solve* rook = nullptr) {
    Solve s;
    s.piece = piece;
    for (int i = 0; i < POSITIONS; i++) {
        int stm = i >> 18, wk = (i >> 12) & 63, bk = (i >> 6) & 63, x = i & 63;
        if (is_legal(piece, stm, wk, bk, x)) {
            s.wdl[size_t(i)] = UNKNOWN;
            s.legal++;
            add_moves(s, stm, wk, bk, x, queen, rook);
        }
        s.first[size_t(i) + 1] = int(s.edges.size());
    }
    solve_wdl(s);
    solve_dtz(s);
    return s;
}

// The position of index i; mirrored: colours exchanged and the board turned.
TbPosition tb_of(int piece, int i, bool mirrored) {
    int m = mirrored ? 56 : 0;
    Bitboard strong = square_bb(((i >> 12) & 63) ^ m) | square_bb((i & 63) ^ m), weak = square_bb(((i >> 6) & 63) ^ m);
    TbPosition p{};
    p.white = mirrored ? weak : strong;
    p.black = mirrored ? strong : weak;
    p.kings = (p.white | p.black) & ~square_bb((i & 63) ^ m);
    (piece == QUEEN ? p.queens : piece == ROOK ? p.rooks : p.pawns) = square_bb((i & 63) ^ m);
    p.turn = ((i >> 18) == WHITE) != mirrored;
    return p;
}

void compare(const Solve& s, const char* name, int expected_legal) {
    EXPECT_EQ(s.legal, expected_legal) << name;
    int wdl_faults = 0, dtz_faults = 0, dtz_read = 0;
    for (int i = 0; i < POSITIONS; i++) {
        int w = s.wdl[size_t(i)];
        if (w == ILLEGAL) continue;
        for (bool mirrored : {false, true}) {
            TbPosition p = tb_of(s.piece, i, mirrored);
            Probe wdl = wdl_of(p);
            if ((wdl.success == 0 || wdl.value != w) && wdl_faults++ < 5)
                ADD_FAILURE() << name << " index " << i << (mirrored ? " mirrored" : "") << ": WDL " << wdl.value
                              << " (success " << wdl.success << "), solved " << w;
            int stored = 1;
            tb_probe_table(p, w, stored, TB_DTZ);
            if (w == DRAW || s.dtz[size_t(i)] == 0 || stored == -1) continue;
            dtz_read++;
            Probe dtz = dtz_of(p);
            int expected = w == WIN ? s.dtz[size_t(i)] : -s.dtz[size_t(i)];
            if ((dtz.success == 0 || dtz.value != expected) && dtz_faults++ < 5)
                ADD_FAILURE() << name << " index " << i << (mirrored ? " mirrored" : "") << ": DTZ " << dtz.value
                              << ", solved " << expected;
        }
    }
    EXPECT_EQ(wdl_faults, 0) << name;
    EXPECT_EQ(dtz_faults, 0) << name;
    EXPECT_GT(dtz_read, expected_legal / 4) << name;
}

}  // namespace

TEST(Retrograde, EveryThreeManPositionMatchesAnIndependentSolve) {
    use_tables();
    Solve queen = solve(QUEEN), rook = solve(ROOK);
    compare(queen, "KQvK", 368452);
    compare(rook, "KRvK", 399112);
    compare(solve(PAWN, &queen, &rook), "KPvK", 331352);
}
