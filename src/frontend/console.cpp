#include "frontend/console.h"

#include <cstdio>
#include <cstring>

#include "board/move.h"
#include "board/notation.h"
#include "board/perft.h"
#include "book/book.h"
#include "core/io.h"
#include "core/settings.h"
#include "frontend/console_commands.h"
#include "search/game.h"
#include "search/selectivity.h"
#include "search/state.h"
#include "search/tt.h"
#include "tools/pgn.h"

int autoplay_both = 0;
int autoplay_reply = 0;

namespace {

void split_words(const char* line, ConsoleWords& words) {
    words.line = line;
    words.command[0] = 0;
    words.count = -1;
    const char* p = line;
    while (words.count < ConsoleWords::MAX_ARGS) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;
        size_t n = strcspn(p, " \t");
        char* out = words.count < 0 ? words.command : words.args[words.count];
        size_t kept = n < ConsoleWords::CAPACITY - 1 ? n : ConsoleWords::CAPACITY - 1;
        memcpy(out, p, kept);
        out[kept] = 0;
        words.count++;
        p += n;
    }
    if (words.count < 0) words.count = 0;
}

void reset_clocks() { search_state.clock[WHITE] = search_state.clock[BLACK] = options.time_per_move; }

void request_search() { search_state.search_flags.store(FLAG_GO); }

// A typed move, in coordinate or algebraic notation.
void enter_move(const char* text) {
    Move move;
    if (!parse_move(game, text, move)) {
        // Name the squares when the text has them; otherwise repeat what was typed.
        int from = parse_square(text), to = from == NO_SQUARE ? NO_SQUARE : parse_square(text + 2);
        char origin[3] = "", destination[3] = "";
        if (to != NO_SQUARE) {
            square_name(from, origin);
            square_name(to, destination);
        }
        print_fmt("invalid: %s%s", origin, to != NO_SQUARE ? destination : text);
        return;
    }
    print_fmt("%d. move %s", game.histIndex / 2 + 1, text);
    play_game_move(move);
    show_position();
}

void set_fen_command(const ConsoleWords& words) {
    const char* fen = words.line + strspn(words.line, " \t") + 3;
    fen += strspn(fen, " \t");
    if (set_game_position(fen) != 0) {
        print_fmt("illegal position: %s", fen);
        return;
    }
    print_board(game.pos);
}

void analyse(const ConsoleWords& words) {
    options.own_book = 0;
    options.time_per_move = 99999;
    options.depth_limit = MAX_PLY;
    options.limit_mode = 1;
    if (words.count > 0) {
        long long depth = read_int(words.arg(0));
        options.depth_limit = int16_t(depth <= 0 ? 0 : depth < MAX_PLY ? depth : MAX_PLY);
    }
    if (search_state.table_enabled <= 1) {
        search_state.hashfull = 0;
        if (search_state.table_enabled == 1) tt_clear();
    }
    autoplay_both = autoplay_reply = 0;
    request_search();
}

// "get id": the first line of "test.epd" with the operation id "<id>".
void get_test_position(const ConsoleWords& words) {
    FILE* file = fopen("test.epd", "r");
    if (!file) return;
    char wanted[ConsoleWords::CAPACITY + 8];
    snprintf(wanted, sizeof wanted, "id \"%s\"", words.arg(0));
    char line[1024], found[1024] = "";
    while (fgets(line, sizeof line, file)) {
        if (line[0] == ' ' || line[0] == ';') continue;
        if (strstr(line, wanted)) {
            line[strcspn(line, "\r\n")] = 0;
            snprintf(found, sizeof found, "%s", line);
            break;
        }
    }
    fclose(file);
    print_line(found);
    if (strlen(found) >= 9) {
        EpdFields fields;
        split_epd(found, fields);
        if (set_game_position(fields.fen) != 0) print_fmt("illegal position: %s", fields.fen);
    }
    print_board(game.pos);
    tt_clear();
}

void take_back() {
    if (unmake_game_move(game) == 0) show_position();
}

void replay_next() {
    Move move = game.history[game.histIndex].move;
    if (move == MOVE_NONE) return;
    char text[MOVE_TEXT_SIZE];
    move_text(game.pos, game.pos.side, move, text);
    int number = game.histIndex / 2 + 1;
    const char* dots = game.pos.side == WHITE ? "." : "...";
    if (replay_game_move() == MOVE_NONE) return;
    print_fmt("%d%s move %s", number, dots, text);
    show_position();
}

void jump(const ConsoleWords& words) {
    long long ply = 2 * read_int(words.arg(0)) - 2;
    rewind_game();
    while (game.histIndex < ply && replay_game_move() != MOVE_NONE) {
    }
    print_board(game.pos);
}

void load(const ConsoleWords& words) {
    print_fmt("loading %s, tag %s", words.arg(0), words.arg(1));
    load_pgn_game(words.arg(0), words.arg(1));
    game.history[game.histIndex].move = MOVE_NONE;
    print_board(game.pos);
    reset_clocks();
}

void new_game(const ConsoleWords&) {
    set_game_position(START_FEN);
    print_board(game.pos);
    reset_clocks();
}

// The engine answers once ("mv"), or plays both sides ("self").
void engine_move(const ConsoleWords&) {
    options.own_book = 1;
    autoplay_reply = 1;
    request_search();
}

void self_play(const ConsoleWords&) {
    options.ponder = 0;
    autoplay_both = 1;
    request_search();
}

void save(const ConsoleWords&) { save_pgn_game("tmp.pgn"); }
// Both books' candidates for the game position, each list followed by an empty line.
void book(const ConsoleWords&) {
    for (const char* path : {options.book_file, options.book2_file}) {
        book_probe(game, path);
        print_line("");
    }
}
void typed_move(const ConsoleWords& words) { enter_move(words.arg(0)); }
template <int DETAIL>
void evaluation(const ConsoleWords&) {
    console_evaluation(DETAIL);
}
template <void (*RUN)()>
void plain(const ConsoleWords&) {
    RUN();
}

struct Command {
    const char* name;
    void (*run)(const ConsoleWords& words);
};

const Command COMMANDS[] = {
    {"new", new_game},
    {"fen", set_fen_command},
    {"mv", engine_move},
    {"go", analyse},
    {"an", analyse},
    {"bd", plain<show_position>},
    {"self", self_play},
    {"get", get_test_position},
    {"pv", plain<console_pv>},
    {"ev", evaluation<1>},
    {"ev2", plain<console_network>},
    {"sp", evaluation<2>},
    {"lmr", plain<print_selectivity>},
    {"undo", plain<take_back>},
    {"[", plain<take_back>},
    {"]", plain<replay_next>},
    {"test", plain<console_keys>},
    {"load", load},
    {"save", save},
    {"jump", jump},
    {"edit", plain<console_edit>},
    {"book", book},
    {"perft", console_perft},
    {"swap", plain<console_swap>},
    {"reverse", plain<console_reverse>},
    {"set", console_set},
    {"move", typed_move},
};

}  // namespace

void console_command(char* line) {
    ConsoleWords words;
    split_words(line, words);
    // Even during a search these two are obeyed: quit, and "." which stops the search.
    if (strcmp(words.command, "quit") == 0) {
        set_quit_requested(1);
        return;
    }
    if (strcmp(words.command, ".") == 0) {
        search_state.stop_flag.store(1);
        return;
    }
    if (search_state.search_flags.load() != 0 || !words.command[0]) return;
    for (const Command& c : COMMANDS)
        if (strcmp(words.command, c.name) == 0) return c.run(words);
    enter_move(words.command);
}

void show_position() {
    if (options.display_eval) console_evaluation(1);
    print_board(game.pos);
}
