#include "search/game.h"

#include "board/attacks.h"
#include "board/move.h"
#include "core/settings.h"
#include "search/state.h"
#include "search/thread.h"

ThreadBoard game;

int start_engine_records() {
    // The main thread's record, and the game record every search copies.
    init_thread_board(game);
    if (prepare_thread(0) != 0) return -1;

    init_tables();
    init_kpk_table();

    // Defaults, then the copy that "uci" shows as defaults (taken before the switches).
    set_default_options();
    search_state.clock[0] = search_state.clock[1] = 5.0f;
    search_state.target_time = 1.0f;
    search_state.table_enabled = 1;
    save_settings();
    return 0;
}

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
