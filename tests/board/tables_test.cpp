// The KPK table against a retrograde solve written here from the rules alone
// (the step tables themselves are walked by the perft suites).

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <vector>

#include "test_support.h"

// King and pawn against king, solved position by position from the rules:
// the pawn side wins when it can force a promotion that keeps the queen.

namespace {

struct KpkSolver {
    static constexpr uint8_t UNKNOWN = 3;
    // value[mover][pawn][king][defender]: 0 illegal, 1 draw, 2 win once solved.
    std::vector<uint8_t> value = std::vector<uint8_t>(2 * 64 * 64 * 64, 0);
    std::vector<int> steps[64];

    uint8_t& at(int mover, int p, int a, int d) { return value[((mover * 64 + p) * 64 + a) * 64 + d]; }

    static int distance(int x, int y) {
        return std::max(std::abs(file_of(x) - file_of(y)), std::abs(rank_of(x) - rank_of(y)));
    }
    static bool pawn_attacks(int p, int s) {
        return rank_of(s) == rank_of(p) + 1 && std::abs(file_of(s) - file_of(p)) == 1;
    }
    static bool legal(int mover, int p, int a, int d) {
        if (a == d || a == p || d == p || distance(a, d) <= 1) return false;
        return mover == 1 || !pawn_attacks(p, d);  // the side not to move may not stand in check
    }
    // Result of a move into (mover, p, a, d): -1 when that move is impossible.
    int child(int mover, int p, int a, int d) {
        if (!legal(mover, p, a, d)) return -1;
        if (rank_of(p) < 7) return at(mover, p, a, d);
        // A new queen: it falls only to a defender on move beside it with no protection.
        return mover == 1 && distance(d, p) == 1 && distance(a, p) > 1 ? 1 : 2;
    }

    bool settle_pawn_side(int p, int a, int d) {
        bool win = false, open = false;
        auto take = [&](int r) {
            win |= r == 2;
            open |= r == UNKNOWN;
        };
        for (int t : steps[a]) take(child(1, p, t, d));
        if (p + 8 != a && p + 8 != d) {
            take(child(1, p + 8, a, d));
            if (rank_of(p) == 1 && p + 16 != a && p + 16 != d) take(child(1, p + 16, a, d));
        }
        if (!win && open) return false;
        at(0, p, a, d) = win ? 2 : 1;
        return true;
    }

    bool settle_defender(int p, int a, int d) {
        bool draw = false, open = false, any_move = false;
        for (int t : steps[d]) {
            bool takes_pawn = t == p && distance(a, p) > 1;
            int r = child(0, p, a, t);
            draw |= takes_pawn || r == 1;
            open |= r == UNKNOWN;
            any_move |= takes_pawn || r >= 0;
        }
        if (!draw && open) return false;
        at(1, p, a, d) = draw || !any_move ? 1 : 2;  // no move at all is stalemate
        return true;
    }

    void solve() {
        for (int k = 0; k < 64; k++)
            for (int t = 0; t < 64; t++)
                if (distance(k, t) == 1) steps[k].push_back(t);
        for (int mover = 0; mover < 2; mover++)
            for (int p = 8; p < 56; p++)
                for (int a = 0; a < 64; a++)
                    for (int d = 0; d < 64; d++) at(mover, p, a, d) = legal(mover, p, a, d) ? UNKNOWN : 0;
        for (bool changed = true; changed;) {
            changed = false;
            for (int p = 8; p < 56; p++) {
                if (file_of(p) > 3) continue;
                for (int a = 0; a < 64; a++)
                    for (int d = 0; d < 64; d++) {
                        if (at(0, p, a, d) == UNKNOWN) changed |= settle_pawn_side(p, a, d);
                        if (at(1, p, a, d) == UNKNOWN) changed |= settle_defender(p, a, d);
                    }
            }
        }
        for (uint8_t& v : value)
            if (v == UNKNOWN) v = 1;  // no forced win from there: a draw
    }
};

}  // namespace

TEST(Tables, KpkTableMatchesAnIndependentRetrogradeSolve) {
    KpkSolver solver;
    solver.solve();
    int wins = 0;
    for (int mover = 0; mover < 2; mover++)
        for (int rank = 1; rank < 7; rank++)
            for (int file = 0; file < 4; file++) {
                int p = make_square(file, rank);
                for (int a = 0; a < 64; a++)
                    for (int d = 0; d < 64; d++) {
                        uint8_t expected = solver.at(mover, p, a, d);
                        uint8_t actual = kpk_table[kpk_index(mover, p, a, d)];
                        if (expected == 0) continue;  // illegal set-ups: only the legal ones are ever read
                        ASSERT_EQ(actual, expected) << mover << " pawn " << p << " king " << a << " defender " << d;
                        wins += actual == 2;
                    }
            }
    EXPECT_GT(wins, 0);
    // Textbook cases: king in front of its pawn, defender in front of both, wins with either side to move.
    EXPECT_EQ(kpk_table[kpk_index(0, sq("d5"), sq("d6"), sq("d8"))], 2);
    EXPECT_EQ(kpk_table[kpk_index(1, sq("d5"), sq("d6"), sq("d8"))], 2);
    // A rook's pawn with the defender in the corner is a draw.
    EXPECT_EQ(kpk_table[kpk_index(0, sq("a6"), sq("b6"), sq("a8"))], 1);
}
