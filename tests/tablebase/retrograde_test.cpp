// Every legal position of KQvK, KRvK and KPvK, in both colour assignments,
// against a retrograde solve of the test's own: WDL everywhere, DTZ wherever
// the table stores the side to move; the KPK table of the evaluation as well.
#include <algorithm>

#include "tb_test_env.h"

namespace {

constexpr int POSITIONS = 2 * 64 * 64 * 64, UNKNOWN = 1, ILLEGAL = 99;

// Side to move, white king, black king and the one white man.
int index_of(int stm, int wk, int bk, int x) { return ((stm * 64 + wk) * 64 + bk) * 64 + x; }

Bitboard attacks(int piece, int x, Bitboard occ) {
    if (piece == QUEEN) return bishop_attacks(x, occ) | rook_attacks(x, occ);
    return piece == ROOK ? rook_attacks(x, occ) : PawnAttacks[WHITE][x];
}

// A move: to a position of the same material, or (child -1) out of it with
// its value for the mover settled (captures draw, promotions end in KQvK...).
struct Edge {
    int child;
    bool zeroing;
    int value;
};

struct Solve {
    int piece;
    std::vector<int8_t> wdl = std::vector<int8_t>(POSITIONS, ILLEGAL);  // for the side to move
    std::vector<int16_t> dtz = std::vector<int16_t>(POSITIONS, -1);     // plies to zeroing or mate
    std::vector<std::vector<Edge>> moves = std::vector<std::vector<Edge>>(POSITIONS);
    int legal = 0;

    int value(const Edge& e) const { return e.child < 0 ? e.value : -wdl[size_t(e.child)]; }
};

void add_moves(Solve& s, int stm, int wk, int bk, int x, const Solve* queen, const Solve* rook) {
    std::vector<Edge>& out = s.moves[size_t(index_of(stm, wk, bk, x))];
    for (Bitboard b = KingAttacks[stm == WHITE ? wk : bk]; b;) {
        int t = pop_lsb(b);
        if (stm == WHITE && t != x && square_distance(t, bk) > 1) out.push_back({index_of(BLACK, t, bk, x), false, 0});
        if (stm == BLACK && square_distance(t, wk) > 1 && (t == x || !(attacks(s.piece, x, square_bb(wk)) & square_bb(t))))
            out.push_back(t == x ? Edge{-1, true, 0} : Edge{index_of(WHITE, wk, t, x), false, 0});
    }
    if (stm == BLACK) return;
    if (s.piece != PAWN) {
        for (Bitboard b = attacks(s.piece, x, square_bb(wk) | square_bb(bk)) & ~square_bb(wk); b;)
            out.push_back({index_of(BLACK, wk, bk, pop_lsb(b)), false, 0});
    } else if (x + 8 != wk && x + 8 != bk) {
        int after = index_of(BLACK, wk, bk, x + 8);
        if (x >= 48) {  // queen, rook, and a minor piece that draws
            for (const Solve* promoted : {queen, rook}) out.push_back({-1, true, -promoted->wdl[size_t(after)]});
            out.push_back({-1, true, 0});
            return;
        }
        out.push_back({after, true, 0});
        if (x < 16 && x + 16 != wk && x + 16 != bk) out.push_back({after + 8, true, 0});
    }
}

Solve solve(int piece, const Solve* queen = nullptr, const Solve* rook = nullptr) {
    Solve s{piece};
    for (int i = 0; i < POSITIONS; i++) {
        int stm = i >> 18, wk = (i >> 12) & 63, bk = (i >> 6) & 63, x = i & 63;
        bool black_in_check = attacks(piece, x, square_bb(wk) | square_bb(bk)) & square_bb(bk);
        if (wk == bk || x == wk || x == bk || square_distance(wk, bk) < 2 || (stm == WHITE && black_in_check) ||
            (piece == PAWN && (x < 8 || x >= 56)))
            continue;
        s.legal++;
        add_moves(s, stm, wk, bk, x, queen, rook);
        s.wdl[size_t(i)] = s.moves[size_t(i)].empty() ? (black_in_check ? -2 : 0) : UNKNOWN;
        if (s.moves[size_t(i)].empty() && black_in_check) s.dtz[size_t(i)] = 0;
    }
    // WDL: a move to a lost position wins; when every move reaches a won one, lost.
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = 0; i < POSITIONS; i++) {
            if (s.wdl[size_t(i)] != UNKNOWN) continue;
            bool win = false, lose = true;
            for (const Edge& e : s.moves[size_t(i)]) win |= s.value(e) == 2, lose &= s.value(e) == -2;
            if (win || lose) s.wdl[size_t(i)] = int8_t(win ? 2 : -2), changed = true;
        }
    }
    std::replace(s.wdl.begin(), s.wdl.end(), int8_t(UNKNOWN), int8_t(0));
    // DTZ in rounds d: a win needs a zeroing winning move (d = 1) or a loss of
    // d - 1 behind another move; a loss is settled once all its moves are.
    for (int d = 1;; d++) {
        std::vector<std::pair<int, int>> settled;
        for (int i = 0; i < POSITIONS; i++) {
            int w = s.wdl[size_t(i)];
            if ((w != 2 && w != -2) || s.dtz[size_t(i)] >= 0) continue;
            int longest = 0;
            bool found = false, open = false;
            for (const Edge& e : s.moves[size_t(i)]) {
                int after = e.child < 0 ? -1 : s.dtz[size_t(e.child)];
                found |= w == 2 && s.value(e) == 2 && (e.zeroing ? d == 1 : after == d - 1);
                open |= !e.zeroing && after < 0;
                longest = std::max(longest, e.zeroing ? 1 : after + 1);
            }
            if (found || (w == -2 && !open)) settled.push_back({i, w == 2 ? d : longest});
        }
        if (settled.empty()) break;
        for (auto [i, value] : settled) s.dtz[size_t(i)] = int16_t(value);
    }
    return s;
}

// Position i; mirrored: colours exchanged and the board turned upside down.
TbPosition tb_of(int piece, int i, bool mirrored) {
    int m = mirrored ? 56 : 0, x = (i & 63) ^ m;
    Bitboard strong = square_bb(((i >> 12) & 63) ^ m) | square_bb(x), weak = square_bb(((i >> 6) & 63) ^ m);
    TbPosition p{};
    p.white = mirrored ? weak : strong;
    p.black = mirrored ? strong : weak;
    p.kings = (strong | weak) & ~square_bb(x);
    (piece == QUEEN ? p.queens : piece == ROOK ? p.rooks : p.pawns) = square_bb(x);
    p.turn = ((i >> 18) == WHITE) != mirrored;
    return p;
}

void compare(const Solve& s, const char* name, int expected_legal) {
    EXPECT_EQ(s.legal, expected_legal) << name;
    int faults = 0, dtz_read = 0;
    for (int i = 0; i < POSITIONS; i++) {
        int w = s.wdl[size_t(i)], d = s.dtz[size_t(i)];
        for (bool mirrored : {false, true}) {
            if (w == ILLEGAL) continue;
            TbPosition p = tb_of(s.piece, i, mirrored);
            Probe wdl = wdl_of(p);
            int stored = 1;
            tb_probe_table(p, w, stored, TB_DTZ);
            Probe dtz = w == 0 || d == 0 || stored == -1 ? Probe{0, 0} : dtz_of(p);
            dtz_read += dtz.success;
            bool ok = wdl.success && wdl.value == w && (!dtz.success || dtz.value == (w > 0 ? d : -d));
            if (!ok && faults++ < 5)
                ADD_FAILURE() << name << " index " << i << (mirrored ? " mirrored" : "") << ": WDL " << wdl.value
                              << " DTZ " << dtz.value << ", solved " << w << " " << d;
        }
    }
    EXPECT_EQ(faults, 0) << name;
    EXPECT_GT(dtz_read, expected_legal / 4) << name;
}

}  // namespace

TEST(Retrograde, EveryThreeManPositionMatchesAnIndependentSolve) {
    use_tables();
    Solve queen = solve(QUEEN), rook = solve(ROOK);
    compare(queen, "KQvK", 368452);
    compare(rook, "KRvK", 399112);
    const Solve pawn = solve(PAWN, &queen, &rook);
    compare(pawn, "KPvK", 331352);
    // The evaluation's king-and-pawn table (pawn on files a-d) against the same solve.
    int faults = 0;
    for (int i = 0; i < POSITIONS; i++) {
        const int stm = i >> 18, wk = (i >> 12) & 63, bk = (i >> 6) & 63, x = i & 63, w = pawn.wdl[size_t(i)];
        if (w == ILLEGAL || file_of(x) > 3) continue;
        const int expected = (stm == WHITE ? w == 2 : w == -2) ? 2 : 1;  // 2: the pawn side wins
        if (kpk_table[kpk_index(stm, x, wk, bk)] != expected && faults++ < 5)
            ADD_FAILURE() << "KPK table, mover " << stm << " pawn " << x << " king " << wk << " defender " << bk << ": solved " << w;
    }
    EXPECT_EQ(faults, 0);
}
