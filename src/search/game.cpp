#include "search/game.h"

#include "board/move.h"

ThreadBoard game;

int set_game_position(const char* fen) {
    // A trial record without an owner: set_fen checks the text without touching any history.
    Position trial{};
    if (set_fen(trial, fen) != 0) return -1;
    return set_fen(game.pos, fen);
}

int play_game_move(Move m) {
    if (make_game_move(game, m) != 0) return -1;
    game.history[game.histIndex].move = MOVE_NONE;
    return 0;
}

void rewind_game() {
    while (unmake_game_move(game) == 0) {
    }
}

Move replay_game_move() {
    Move m = game.history[game.histIndex].move;
    if (m == MOVE_NONE || make_game_move(game, m) != 0) return MOVE_NONE;
    return m;
}
