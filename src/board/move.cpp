#include "board/move.h"

#include <cstring>

#include "board/keys.h"
#include "board/movegen.h"

namespace {

inline uint64_t piece_key(int piece, int sq) { return KeyTable[piece * 64 + sq]; }

// Moves a piece between two squares of the board and bitboards (no keys, no material).
inline void shift_piece(Position& pos, int piece, int from, int to) {
    Bitboard both = square_bb(from) | square_bb(to);
    pos.board[from] = 0;
    pos.board[to] = uint8_t(piece);
    pos.pieces[piece_color(piece)][piece_type(piece)] ^= both;
    pos.pieces[piece_color(piece)][0] ^= both;
}

// Lifts (placed = 0) or places a piece whose material does not change: the castling rook.
inline void toggle_piece(Position& pos, int piece, int sq, int placed) {
    pos.board[sq] = placed ? uint8_t(piece) : 0;
    pos.pieces[piece_color(piece)][piece_type(piece)] ^= square_bb(sq);
    pos.pieces[piece_color(piece)][0] ^= square_bb(sq);
}

inline int rook_destination(int king_to, Move flags) { return flags == CASTLE_KING_SIDE ? king_to - 1 : king_to + 1; }

}  // namespace

void make_move(Position& pos, Move m) {
    ThreadBoard& tb = *pos.owner;
    HistoryEntry& record = tb.history[tb.histIndex];
    tb.histIndex++;
    tb.plyIndex++;

    int from = move_from(m), to = move_to(m);
    int piece = pos.board[from], type = piece_type(piece);
    int us = pos.side, them = us ^ 1;
    Move flags = move_flags(m);
    bool castling = flags && type == KING;
    if (castling) {
        to = (from & 56) + (flags == CASTLE_KING_SIDE ? 6 : 2);
        m = make_move_code(from, to, flags);
    }
    int victim = castling ? 0 : pos.board[to];

    record.key = pos.key;
    record.pawnKey = pos.pawnKey;
    record.move = m;
    record.captured = uint8_t(piece_type(victim));
    record.epSquare = pos.epSquare;
    record.touched = pos.touched;
    record.fifty = pos.fifty;
    record.castleRights = pos.castleRights;
    tb.lastMove = m;

    pos.touched |= square_bb(from) | square_bb(to);
    int old_ep = pos.epSquare;
    pos.epSquare = NO_SQUARE;
    uint64_t key = pos.key;
    if (old_ep != NO_SQUARE) key ^= KeyTable[old_ep];
    int rights = pos.castleRights;
    if (rights) {
        for (int i = 0; i < 4; i++)
            if (pos.castleMask[i] & pos.touched) rights &= ~(1 << i);
        if (rights != pos.castleRights) key ^= KeyTable[pos.castleRights] ^ KeyTable[rights];
        pos.castleRights = uint8_t(rights);
    }
    pos.fifty++;
    pos.side = uint8_t(them);

    if (castling) {
        int rook = make_piece(us, ROOK);
        int rook_from = pos.castleRook[castle_right(us, flags)], rook_to = rook_destination(to, flags);
        // Lift first: in Chess960 the king may land where the rook stood.
        toggle_piece(pos, rook, rook_from, 0);
        if (from != to) shift_piece(pos, piece, from, to);
        toggle_piece(pos, rook, rook_to, 1);
        pos.kingSq[us] = uint8_t(to);
        pos.fifty = 0;
        pos.key = key ^ piece_key(piece, from) ^ piece_key(piece, to) ^ piece_key(rook, rook_from) ^
                  piece_key(rook, rook_to);
        return;
    }

    uint64_t pawn_key = pos.pawnKey;
    if (victim) {
        remove_piece(pos, to);
        key ^= piece_key(victim, to);
        if (piece_type(victim) == PAWN) pawn_key ^= piece_key(victim, to);
        pos.fifty = 0;
    }
    shift_piece(pos, piece, from, to);
    uint64_t travel = piece_key(piece, from) ^ piece_key(piece, to);
    key ^= travel;

    if (type == KING) pos.kingSq[us] = uint8_t(to);
    if (type == PAWN) {
        pawn_key ^= travel;
        pos.fifty = 0;
        int dir = pawn_dir(us);
        if (to == from + 2 * dir) {
            if (PawnAttacks[us][from + dir] & pos.pieces[them][PAWN]) {
                pos.epSquare = uint8_t(from + dir);
                key ^= KeyTable[from + dir];
            }
        } else if (to == old_ep) {
            int taken = to - dir, enemy_pawn = make_piece(them, PAWN);
            remove_piece(pos, taken);
            key ^= piece_key(enemy_pawn, taken);
            pawn_key ^= piece_key(enemy_pawn, taken);
        } else if (square_bb(to) & (RANK_1 | RANK_8)) {
            int promoted = make_piece(us, promotion_type(m));
            if (!flags) record.move = tb.lastMove = m | PROMO_QUEEN;  // unmake knows promotions by their flag
            remove_piece(pos, to);
            put_piece(pos, promoted, to);
            key ^= piece_key(piece, to) ^ piece_key(promoted, to);
            pawn_key ^= piece_key(piece, to);
        }
    }
    pos.key = key;
    pos.pawnKey = pawn_key;
}

void unmake_move(Position& pos) {
    ThreadBoard& tb = *pos.owner;
    tb.histIndex--;
    tb.plyIndex--;
    const HistoryEntry& record = tb.history[tb.histIndex];
    tb.lastMove = tb.histIndex ? tb.history[tb.histIndex - 1].move : MOVE_NONE;

    pos.touched = record.touched;
    pos.epSquare = record.epSquare;
    pos.castleRights = record.castleRights;
    pos.fifty = record.fifty;
    pos.side ^= 1;
    int us = pos.side, them = us ^ 1;

    Move m = record.move;
    int from = move_from(m), to = move_to(m);
    int piece = pos.board[to];
    Move flags = move_flags(m);
    if (flags && piece_type(piece) == KING) {
        int rook = make_piece(us, ROOK);
        toggle_piece(pos, rook, rook_destination(to, flags), 0);
        if (from != to) shift_piece(pos, piece, to, from);
        toggle_piece(pos, rook, pos.castleRook[castle_right(us, flags)], 1);
        pos.kingSq[us] = uint8_t(from);
    } else {
        if (flags) {
            remove_piece(pos, to);
            put_piece(pos, make_piece(us, PAWN), from);
        } else {
            shift_piece(pos, piece, to, from);
        }
        if (record.captured) put_piece(pos, make_piece(them, record.captured), to);
        int type = piece_type(pos.board[from]);
        if (type == PAWN && to == pos.epSquare) put_piece(pos, make_piece(them, PAWN), to - pawn_dir(us));
        if (type == KING) pos.kingSq[us] = uint8_t(from);
    }
    pos.key = record.key;
    pos.pawnKey = record.pawnKey;
}

void make_null_move(Position& pos) {
    ThreadBoard& tb = *pos.owner;
    HistoryEntry& record = tb.history[tb.histIndex];
    record.key = pos.key;
    record.pawnKey = pos.pawnKey;
    record.move = MOVE_NONE;
    record.captured = 0;
    record.epSquare = pos.epSquare;
    record.touched = pos.touched;
    record.fifty = pos.fifty;
    record.castleRights = pos.castleRights;
    tb.histIndex++;
    tb.plyIndex++;
    tb.lastMove = MOVE_NONE;
    if (pos.epSquare != NO_SQUARE) pos.key ^= KeyTable[pos.epSquare];
    pos.epSquare = NO_SQUARE;
    pos.side ^= 1;
}

void unmake_null_move(Position& pos) {
    ThreadBoard& tb = *pos.owner;
    tb.histIndex--;
    tb.plyIndex--;
    const HistoryEntry& record = tb.history[tb.histIndex];
    pos.side ^= 1;
    pos.epSquare = record.epSquare;
    pos.fifty = record.fifty;
    pos.key = record.key;
    tb.lastMove = tb.histIndex ? tb.history[tb.histIndex - 1].move : MOVE_NONE;
}

Move match_legal(ThreadBoard& game, Move m) {
    Position& pos = game.pos;
    int from = move_from(m), piece = pos.board[from];
    if (!piece || piece_color(piece) != pos.side) return MOVE_NONE;
    if (piece_type(piece) == PAWN && !move_flags(m) && (square_bb(move_to(m)) & (RANK_1 | RANK_8))) m |= PROMO_QUEEN;
    bool castling = is_castling(pos, m);
    gen_all(pos);
    const PlyRecord& ply = game.current_ply();
    for (const MoveEntry* e = ply.moves; e < ply.listEnd; e++) {
        bool same = castling ? move_from(e->move) == from && move_flags(e->move) == move_flags(m) && is_castling(pos, e->move)
                             : e->move == m;
        if (same && is_legal(pos, pos.side, e->move)) return e->move;
    }
    return MOVE_NONE;
}

int make_game_move(ThreadBoard& game, Move m) {
    game.plyIndex = 1;
    m = match_legal(game, m);
    if (m == MOVE_NONE) return -1;
    if (game.histIndex >= GAME_HISTORY_LIMIT) {
        int drop = game.histIndex - GAME_HISTORY_KEEP;
        memmove(game.history, game.history + drop, GAME_HISTORY_KEEP * sizeof(HistoryEntry));
        game.histIndex = GAME_HISTORY_KEEP;
    }
    make_move(game.pos, m);
    game.plyIndex = 1;
    return 0;
}

int unmake_game_move(ThreadBoard& game) {
    if (game.histIndex <= 0) return -1;
    unmake_move(game.pos);
    game.plyIndex = 1;
    return 0;
}
