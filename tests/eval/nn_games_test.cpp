#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "board/move.h"
#include "board/movegen.h"
#include "eval/nn/infer.h"
#include "nn_helpers.h"

namespace {

// A uniformly drawn legal move (reservoir sampling), MOVE_NONE when there is none.
Move random_legal_move(ThreadBoard& tb, std::mt19937_64& rng) {
    gen_all(tb.pos);
    const PlyRecord& ply = tb.current_ply();
    Move chosen = MOVE_NONE;
    uint64_t legal = 0;
    for (const MoveEntry* e = ply.moves; e < ply.listEnd; e++)
        if (is_legal(tb.pos, tb.pos.side, e->move) && rng() % ++legal == 0) chosen = e->move;
    return chosen;
}

struct GameWalk {
    std::unique_ptr<ThreadBoard> tb = std::make_unique<ThreadBoard>();
    NNState kept{};
    std::mt19937_64 rng;
    int rebuilds = 0, evaluations = 0, mirror_changes = 0, bucket_changes = 0;
    FeatureView last{};

    explicit GameWalk(uint64_t seed) : rng(seed) {
        init_board_tables();
        init_thread_board(*tb);
    }
    ~GameWalk() { nn_state_free(kept); }

    // Evaluates the current position on the long-lived state as a search
    // would, and checks it against a fresh state, which must rebuild.
    void evaluate_here(int ply) {
        const Position& pos = tb->pos;
        nn_count_material(kept, pos);
        const FeatureView view = nn_feature_view(network.header, pos, kept.mat_white, kept.mat_black);
        kept.eval_ply = int16_t(ply);
        rebuilds += !nn_can_update(kept, view, pos);
        mirror_changes += view.mirror_white != last.mirror_white || view.flip_black != last.flip_black;
        bucket_changes += view.bucket_white != last.bucket_white || view.bucket_black != last.bucket_black;
        last = view;
        const int score = nn_evaluate(kept, pos);
        NNState fresh{};
        fresh.eval_ply = int16_t(ply);
        ASSERT_EQ(nn_evaluate(fresh, pos), score);
        ASSERT_EQ(score, reference_evaluate(pos));
        nn_state_free(fresh);
        evaluations++;
    }

    // Plays a game of random legal moves; at every game ply a short random
    // line is searched and taken back, evaluating each node on the way.
    void play(const char* fen, int moves) {
        ASSERT_EQ(set_fen(tb->pos, fen), 0);
        for (int n = 0; n < moves; n++) {
            if (random_legal_move(*tb, rng) == MOVE_NONE || tb->pos.fifty >= 100) return;
            const int depth = int(rng() % 4);
            int made = 0;
            for (; made < depth; made++) {
                const Move m = random_legal_move(*tb, rng);
                if (m == MOVE_NONE) break;
                make_move(tb->pos, m);
                ASSERT_NO_FATAL_FAILURE(evaluate_here(3 + made));
            }
            while (made--) unmake_move(tb->pos);
            make_game_move(*tb, random_legal_move(*tb, rng));
            ASSERT_NO_FATAL_FAILURE(evaluate_here(1 + int(rng() % 6)));
        }
    }
};

}  // namespace

// Random legal games (with castling, en passant, promotions and long king
// walks in the endings) evaluated node by node: the updated accumulators agree
// with rebuilt ones and with the plain re-statement wherever nothing saturates.
TEST(NnGames, UpdatedEvaluationsAlongRandomGamesMatchRebuilds) {
    const NetworkHeader shapes[] = {shaped_header(128, 0, 0), shaped_header(32, 4, 8, 8), shaped_header(48, 0, 0, 6, 800)};
    const char* starts[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "4k3/8/8/8/8/8/3PP3/4K3 w - - 0 1",
    };
    int seed = 1, rebuilds = 0, evaluations = 0, mirror_changes = 0, bucket_changes = 0;
    for (const NetworkHeader& h : shapes) {
        install_random_network(h, 40 + seed);
        for (const char* fen : starts) {
            GameWalk walk(seed++);
            ASSERT_NO_FATAL_FAILURE(walk.play(fen, 120));
            rebuilds += walk.rebuilds;
            evaluations += walk.evaluations;
            mirror_changes += walk.mirror_changes;
            bucket_changes += walk.bucket_changes;
        }
    }
    EXPECT_GT(evaluations, 2000);
    EXPECT_GT(evaluations - rebuilds, evaluations / 3);  // the update path carries much of the load
    EXPECT_GT(mirror_changes, 50);  // kings crossing between the d and e files
    EXPECT_GT(bucket_changes, 10);  // input buckets switching as material comes off
}

// Without castling rights a position and its mirror image are the same game.
TEST(NnGames, MirroredGamePositionsScoreTheSame) {
    install_random_network(shaped_header(64, 2, 6, 8), 77);
    GameWalk walk(5);
    ASSERT_EQ(set_fen(walk.tb->pos, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w - - 0 1"), 0);
    NNState a{}, b{};
    for (int n = 0; n < 200; n++) {
        const Move m = random_legal_move(*walk.tb, walk.rng);
        if (m == MOVE_NONE) break;
        make_game_move(*walk.tb, m);
        a.eval_ply = b.eval_ply = 5;
        ASSERT_EQ(nn_evaluate(a, walk.tb->pos), nn_evaluate(b, mirrored_position(walk.tb->pos))) << n;
    }
    nn_state_free(a);
    nn_state_free(b);
}
