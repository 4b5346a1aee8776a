#include "frontend/game_loop.h"

#include <time.h>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "frontend/io.h"
#include "frontend/settings.h"
#include "frontend/uci.h"
#include "search/game.h"
#include "search/state.h"

void sleep_ms(int milliseconds) {
    timespec t{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

// Until the search exists, "go" is answered with the first legal move.
static void answer_go() {
    game.plyIndex = 1;
    gen_all(game.pos);
    Move best = MOVE_NONE;
    for (const MoveEntry* e = game.ply[1].moves; e->move != MOVE_END && !best; e++)
        if (is_legal(game.pos, game.pos.side, e->move)) best = e->move;
    char text[16];
    move_text(game.pos, game.pos.side, best, text);
    print_fmt("bestmove %s", text);
}

void game_loop() {
    set_fen(game.pos, START_FEN);
    set_quit_requested(0);
    search_state.search_flags.store(0);
    search_state.stop_flag.store(0);
    while (!quit_requested()) {
        if (search_state.search_flags.load() & (FLAG_GO | FLAG_GO_PONDER)) {
            search_state.search_flags.store(0);
            answer_go();
        }
        poll_input();
        sleep_ms(1);
    }
}
