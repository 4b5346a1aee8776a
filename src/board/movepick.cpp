#include "board/movepick.h"

#include <utility>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/see.h"

namespace {

// Swaps the highest-scoring entry of [cursor, end) to the cursor (the first
// of equal scores wins) and returns its score.
inline int select_best(MoveEntry* cursor, MoveEntry* end) {
    MoveEntry* best = cursor;
    int16_t best_score = cursor->score;
    for (MoveEntry* e = cursor + 1; e < end; e++)
        if (e->score > best_score) {
            best_score = e->score;
            best = e;
        }
    if (best != cursor) std::swap(*best, *cursor);
    return best_score;
}

void score_tactical(const Position& pos, const PlyRecord& pr, MoveEntry* begin, MoveEntry* end) {
    int c = pos.side;
    for (MoveEntry* e = begin; e < end; e++) {
        int victim = piece_type(e->captured), mover = piece_type(e->piece);
        int16_t good = int16_t(MVV_SCORE[victim] - mover);
        if (pr.genMode != GEN_FULL_WIDTH)
            e->score = good;
        else
            e->score = see_move(pos, c, move_from(e->move), move_to(e->move)) >= -49 ? good : LOSING_CAPTURE_SCORE[victim];
    }
}

// The replies that refuted the previous move, and the own reply that followed
// the move before it, for quiet-move bonuses. Zero after a null move.
struct Refutations {
    Move counter1 = MOVE_NONE, counter2 = MOVE_NONE, followup = MOVE_NONE;
};

Refutations refutations(const ThreadBoard& tb) {
    Refutations r;
    int ply = tb.plyIndex;
    if (ply < 2 || tb.lastMove == MOVE_NONE) return r;
    const MoveEntry* prev = tb.ply[ply - 1].cursor;
    int index = prev->piece * 64 + move_to(prev->move);
    r.counter1 = tb.order.counter1[index];
    r.counter2 = tb.order.counter2[index];
    if (ply >= 3 && tb.histIndex >= 2 && tb.history[tb.histIndex - 2].move != MOVE_NONE) {
        const MoveEntry* before = tb.ply[ply - 2].cursor;
        r.followup = tb.order.followup[before->piece * 64 + move_to(before->move)];
    }
    return r;
}

void score_quiets(const ThreadBoard& tb, const PlyRecord& pr, MoveEntry* begin, MoveEntry* end) {
    Refutations r = refutations(tb);
    for (MoveEntry* e = begin; e < end; e++) {
        Move m = e->move;
        int score = (tb.order.history[e->piece * 64 + move_to(m)] * 70) >> 16;
        if (!pr.inCheck) {
            if (m == pr.killer1) score += 70;
            else if (m == pr.killer2) score += 60;
            else if (m == r.counter1) score += 50;
            else if (m == r.counter2) score += 40;
            else if (m == r.followup) score += 20;
        } else {
            if (m == pr.checkKiller) score += 70;
            else if (m == r.counter1) score += 50;
            else if (m == r.counter2) score += 40;
        }
        e->score = int16_t(score);
    }
}

// Quiet moves that put the piece on a square attacking the enemy king
// (no discovered checks, no king moves).
MoveEntry* gen_quiet_checks(const Position& pos, int c, MoveEntry* list) {
    int k = pos.kingSq[c ^ 1];
    Bitboard occ = pos.occupied(), empty = ~occ;
    Bitboard diagonal = bishop_attacks(k, occ) & empty, straight = rook_attacks(k, occ) & empty;
    list = gen_pawn_pushes(pos, c, PawnAttacks[c ^ 1][k] & empty, occ, list);
    list = gen_piece_moves(pos, c, KNIGHT, KnightAttacks[k] & empty, occ, list);
    list = gen_piece_moves(pos, c, BISHOP, diagonal, occ, list);
    list = gen_piece_moves(pos, c, ROOK, straight, occ, list);
    return gen_queen_moves(pos, c, diagonal | straight, occ, list);
}

MoveEntry* pick_sorted(PlyRecord& pr, MoveEntry* cursor) {
    if (cursor >= pr.listEnd) return nullptr;
    pr.cursor = cursor;
    if (select_best(cursor, pr.listEnd) <= 3) pr.stage = STAGE_REST;
    return cursor;
}

// Stage 3: the second group goes after the tactical entries still waiting.
MoveEntry* generate_second_group(Position& pos, ThreadBoard& tb, PlyRecord& pr) {
    pr.stage = STAGE_QUIETS;
    MoveEntry* begin = pr.listEnd;
    MoveEntry* end = begin;
    if (pr.genMode == GEN_FULL_WIDTH) {
        end = gen_quiets(pos, pos.side, begin, pr.captureTarget);
        score_quiets(tb, pr, begin, end);
    } else if (pr.genMode & GEN_QUIET_CHECKS) {
        end = gen_quiet_checks(pos, pos.side, begin);
        for (MoveEntry* e = begin; e < end; e++) e->score = QUIET_CHECK_SCORE;
    }
    pr.listEnd = end;
    pr.stage = STAGE_SORTED;
    return pick_sorted(pr, pr.cursor);
}

MoveEntry* pick_tactical(Position& pos, ThreadBoard& tb, PlyRecord& pr, MoveEntry* cursor) {
    pr.cursor = cursor;
    if (cursor < pr.listEnd && select_best(cursor, pr.listEnd) > 100) return cursor;
    return generate_second_group(pos, tb, pr);
}

MoveEntry* generate_tactical(Position& pos, ThreadBoard& tb, PlyRecord& pr, MoveEntry* begin) {
    int c = pos.side;
    MoveEntry* end = gen_captures(pos, c, begin, pr.captureTarget);
    end = gen_promotions(pos, c, pr.genMode == GEN_FULL_WIDTH, end);
    end = gen_seventh_pushes(pos, c, end);
    score_tactical(pos, pr, begin, end);
    pr.listEnd = end;
    pr.stage = STAGE_TACTICAL;
    return pick_tactical(pos, tb, pr, begin);
}

}  // namespace

MoveEntry* next_move(Position& pos) {
    ThreadBoard& tb = *pos.owner;
    PlyRecord& pr = tb.current_ply();
    switch (pr.stage) {
        case STAGE_START:
            pr.stage = STAGE_HASH_DONE;
            if (pr.genMode == GEN_FULL_WIDTH && pr.hashMove) {
                MoveEntry* e = pr.cursor;
                e->move = pr.hashMove;
                e->score = HASH_MOVE_SCORE;
                e->piece = pos.board[move_from(pr.hashMove)];
                e->captured = pos.board[move_to(pr.hashMove)];
                return e;
            }
            return generate_tactical(pos, tb, pr, pr.cursor);
        case STAGE_HASH_DONE: return generate_tactical(pos, tb, pr, pr.cursor + 1);
        case STAGE_TACTICAL: return pick_tactical(pos, tb, pr, pr.cursor + 1);
        case STAGE_SORTED: return pick_sorted(pr, pr.cursor + 1);
        case STAGE_REST:
            if (pr.cursor + 1 >= pr.listEnd) return nullptr;
            return ++pr.cursor;
        default: return nullptr;
    }
}
