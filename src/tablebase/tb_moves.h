// The prober's own small board: a position of eight bitboards and a 16-bit
// move, with move generation and the attack test on the board's attack tables.
// It knows no castling (tables never hold castling rights) and keeps no history,
// so probes can play moves on stack copies from any thread.
#pragma once
#include <cstdint>

#include "board/position.h"

struct TbPosition {
    uint64_t white, black;
    uint64_t kings, queens, rooks, bishops, knights, pawns;
    uint8_t rule50;
    uint8_t ep;    // en-passant square, 0 when none
    uint8_t turn;  // 1 white to move, 0 black
};

// Destination bits 0-5, origin bits 6-11, promotion bits 12-14.
using TbMove = uint16_t;
enum : int { TB_PROMOTE_NONE = 0, TB_PROMOTE_QUEEN = 1, TB_PROMOTE_ROOK = 2, TB_PROMOTE_BISHOP = 3, TB_PROMOTE_KNIGHT = 4 };
constexpr TbMove tb_move(int from, int to, int promote = 0) { return TbMove(to | from << 6 | promote << 12); }
constexpr int tb_move_to(TbMove m) { return m & 63; }
constexpr int tb_move_from(TbMove m) { return (m >> 6) & 63; }
constexpr int tb_move_promote(TbMove m) { return (m >> 12) & 7; }

// Enough for any legal position: 218 moves at most.
constexpr int TB_MAX_MOVES = 256;

// The engine's position as the prober sees it; ep 0 when the engine has none.
TbPosition tb_position_from(const Position& pos, int rule50);
// Men of one kind (PAWN..KING, the engine's type codes) of one colour.
uint64_t tb_pieces(const TbPosition& pos, int color, int type);

// Captures (every promotion piece, en passant included) / all moves of the
// side to move, pseudo-legal; both return the end of the list.
TbMove* tb_gen_captures(const TbPosition& pos, TbMove* list);
TbMove* tb_gen_moves(const TbPosition& pos, TbMove* list);
bool tb_in_check(const TbPosition& pos);
// Plays move on a copy; false (after is then meaningless) when it leaves the mover's king attacked.
bool tb_do_move(TbPosition& after, const TbPosition& pos, TbMove move);
// Does the move take a man (en passant included).
bool tb_is_capture(const TbPosition& pos, TbMove move);
bool tb_is_en_passant(const TbPosition& pos, TbMove move);
// Side to move in check with no legal move.
bool tb_is_mate(const TbPosition& pos);
