#include "frontend/uci.h"

#include <cstdio>
#include <cstring>

#include "board/move.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "frontend/console.h"
#include "frontend/input.h"
#include "core/io.h"
#include "frontend/options.h"
#include "core/settings.h"
#include "eval/evaluate.h"
#include "search/game.h"
#include "search/selectivity.h"
#include "search/thread.h"
#include "search/tt.h"
#include "search/state.h"

namespace {

constexpr size_t WORD_CAPACITY = 128;
constexpr int MAX_MATE_MOVES = 40;  // the deepest line holds 80 plies
bool command_logging = true;

// "Arguments are found anywhere": the value is the word after the keyword.
bool find_value(const char* args, const char* keyword, char* value) {
    const char* at = strstr(args, keyword);
    if (!at) return false;
    at += strlen(keyword);
    while (*at == ' ') at++;
    size_t n = 0;
    while (at[n] && at[n] != ' ' && n < WORD_CAPACITY - 1) n++;
    memcpy(value, at, n);
    value[n] = 0;
    return true;
}

bool value_of(const char* args, const char* keyword, long long& number) {
    char value[WORD_CAPACITY];
    if (!find_value(args, keyword, value)) return false;
    number = read_int(value);
    return true;
}

void print_spin(const char* name, long long value, long long min, long long max) {
    print_fmt("option name %s type spin default %lld min %lld max %lld", name, value, min, max);
}

void print_string_option(const char* name, const char* value) {
    print_fmt("option name %s type string default %s", name, value);
}

// Finds " value" as a word: the end of the option name.
const char* find_value_word(const char* text) {
    for (const char* at = strstr(text, "value"); at; at = strstr(at + 1, "value")) {
        bool starts = at == text || at[-1] == ' ';
        bool ends = at[5] == 0 || at[5] == ' ';
        if (starts && ends) return at;
    }
    return nullptr;
}

void setoption(const char* args) {
    char name[129] = "", value[201] = "";
    const char* n = strstr(args, "name ");
    if (n) {
        n += 5;
        const char* v = find_value_word(args);
        const char* name_end = v && v > n ? v : n + strlen(n);
        while (name_end > n && name_end[-1] == ' ') name_end--;
        size_t len = size_t(name_end - n) < sizeof name ? size_t(name_end - n) : sizeof name - 1;
        memcpy(name, n, len);
        name[len] = 0;
        if (v) {
            v += 5;
            while (*v == ' ') v++;
            copy_text(value, v);
        }
    }
    set_option(name, value);
    save_settings();
}

void ucinewgame() {
    options.limit_mode = 0;
    search_state.clock[WHITE] = search_state.clock[BLACK] = 60.0f;
    options.time_per_move = 60.0f;
    options.increment = 0;
    game.histIndex = 0;
    search_state.hashfull = 0;
    tt_clear();
    search_state.age = 0;
}

// Builds the move a coordinate text stands for, with the castling flags that
// the king's two-file step or king-takes-own-rook form imply.
bool coordinate_move(const Position& pos, const char* text, Move& move) {
    if (strlen(text) < 4 || text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8' || text[2] < 'a' ||
        text[2] > 'h' || text[3] < '1' || text[3] > '8')
        return false;
    int from = make_square(text[0] - 'a', text[1] - '1');
    int to = make_square(text[2] - 'a', text[3] - '1');
    Move flags = 0;
    int piece = pos.board[from];
    int us = pos.side;
    int back_rank = us == WHITE ? 0 : 7;
    if (piece == make_piece(us, KING) && rank_of(from) == back_rank && rank_of(to) == back_rank) {
        int distance = file_of(to) - file_of(from);
        if (distance >= 2 || distance <= -2 || pos.board[to] == make_piece(us, ROOK))
            flags = file_of(to) > file_of(from) ? CASTLE_KING_SIDE : CASTLE_QUEEN_SIDE;
    }
    switch (text[4]) {
        case 'q': flags = PROMO_QUEEN; break;
        case 'n': flags = PROMO_KNIGHT; break;
        case 'b': flags = PROMO_BISHOP; break;
        case 'r': flags = PROMO_ROOK; break;
        default: break;
    }
    move = make_move_code(from, to, flags);
    return true;
}

// GUIs send legal moves; anything else would corrupt the game record, so a
// move text counts only when it matches a legal move of the position, which
// is returned (MOVE_NONE when there is none).
Move legal_move_of(ThreadBoard& tb, const char* text) {
    Move move;
    if (!coordinate_move(tb.pos, text, move)) return MOVE_NONE;
    Position& pos = tb.pos;
    int from = move_from(move), to = move_to(move);
    if (piece_type(pos.board[from]) == KING && move_flags(move))
        to = (from & 56) + (move_flags(move) == CASTLE_KING_SIDE ? 6 : 2);
    else if (piece_type(pos.board[from]) == PAWN && !move_flags(move) && (rank_of(to) == 0 || rank_of(to) == 7))
        move |= PROMO_QUEEN;
    Move wanted = make_move_code(from, to, move_flags(move));
    tb.plyIndex = 1;
    gen_all(pos);
    for (const MoveEntry* e = tb.ply[1].moves; e->move != MOVE_END; e++)
        if (e->move == wanted) return is_legal(pos, pos.side, e->move) ? e->move : MOVE_NONE;
    return MOVE_NONE;
}

void position(char* args) {
    char* moves = strstr(args, "moves");
    if (moves) *moves = 0;
    const char* fen;
    if (strstr(args, "startpos"))
        fen = START_FEN;
    else if (strstr(args, "fen") && strlen(args) > 4)
        fen = args + 4;
    else
        return;
    if (set_game_position(fen) != 0) {
        print_fmt("info string illegal position: %s", fen);
        return;
    }
    if (moves) {
        char* word = strtok(moves + 5 + (moves[5] != 0), " ");
        for (; word; word = strtok(nullptr, " ")) {
            Move move = legal_move_of(game, word);
            if (move == MOVE_NONE) {
                print_fmt("info string illegal move %s", word);
                break;
            }
            make_game_move(game, move);
        }
    }
    game.history[game.histIndex].move = 0;  // the search's repetition walk starts here
}

// "infinite", and "mate" without other limits: only "stop" or the search's own end stop it.
void search_without_limits(EngineOptions& o) {
    o.time_per_move = 1e7f;
    o.increment = 0;
    o.depth_limit = 80;
    o.limit_mode = 1;
    o.node_limit = 1000000000000000ull;
}

// The keywords of "go"; the first seven are the limits that end a search.
const char* const GO_KEYWORDS[] = {"wtime", "btime", "movestogo", "depth", "nodes",      "movetime",
                                   "infinite", "winc", "binc",     "mate",  "searchmoves", "ponder"};
constexpr int GO_LIMITS = 7;

bool is_go_keyword(const char* word) {
    for (const char* keyword : GO_KEYWORDS)
        if (!strcmp(word, keyword)) return true;
    return false;
}

// The words after "searchmoves" up to the next keyword: the root moves the
// search may play. Words that name no legal move here are left out.
void read_search_moves(const char* args) {
    SearchState& s = search_state;
    s.root_filter_count = 0;
    const char* at = strstr(args, "searchmoves");
    if (!at) return;
    char words[INPUT_CAPACITY];
    copy_text(words, at + strlen("searchmoves"));
    for (char* word = strtok(words, " "); word && !is_go_keyword(word); word = strtok(nullptr, " ")) {
        Move move = legal_move_of(game, word);
        if (move != MOVE_NONE && s.root_filter_count < 256) s.root_filter[s.root_filter_count++] = move;
    }
}

// "mate N": the search ends as soon as it finds a mate in N moves or fewer;
// given alone, nothing else ends it but "stop".
void read_mate_request(const char* args) {
    long long v;
    search_state.mate_moves = 0;
    if (!value_of(args, "mate", v) || v < 1) return;
    search_state.mate_moves = int(v < MAX_MATE_MOVES ? v : MAX_MATE_MOVES);
    for (int k = 0; k < GO_LIMITS; k++)
        if (strstr(args, GO_KEYWORDS[k])) return;
    search_without_limits(options);
}

void go(const char* args) {
    long long v;
    if (value_of(args, "perft", v)) {
        perft_divide(game, int(v < 1 ? 1 : v > 20 ? 20 : v));
        return;
    }
    EngineOptions& o = options;
    o.limit_mode = 0;
    if (value_of(args, "wtime", v)) search_state.clock[WHITE] = float(v < 0 ? 0 : v) * 0.001f;
    if (value_of(args, "btime", v)) search_state.clock[BLACK] = float(v < 0 ? 0 : v) * 0.001f;
    if (game.pos.side == WHITE && value_of(args, "winc", v)) o.increment = float(v) * 0.001f;
    if (game.pos.side == BLACK && value_of(args, "binc", v)) o.increment = float(v) * 0.001f;
    if (value_of(args, "movestogo", v)) {
        search_state.moves_to_go = uint16_t(v);
        o.depth_limit = 80;
        o.limit_mode = 40;
        o.node_limit = 1000000000000000ull;
    }
    if (value_of(args, "depth", v)) {
        o.depth_limit = int16_t(v < 80 ? v : 80);
        o.limit_mode = 1;
        o.time_per_move = 1e7f;
    }
    if (value_of(args, "nodes", v)) {
        o.node_limit = uint64_t(v < 0 ? 0 : v);
        o.time_per_move = 1e7f;
        o.limit_mode = 1;
    }
    if (value_of(args, "movetime", v)) {
        o.time_per_move = float(v) * 0.001f;
        o.increment = 0;
        o.limit_mode = 1;
    }
    if (strstr(args, "infinite")) search_without_limits(o);
    read_search_moves(args);
    read_mate_request(args);
    search_state.search_flags.store(strstr(args, "ponder") ? FLAG_GO_PONDER : FLAG_GO);
}

// Both evaluations of the game position, for the side to move.
void report_evaluations() {
    EvalState& es = search_threads[0]->eval;
    print_fmt("info string eval hce %d", hce_score(es, game.pos));
    print_fmt("info string eval nne %d", nne_score(es, game.pos));
}

void ponderhit() {
    uint16_t flags = search_state.search_flags.load();
    while (flags & FLAG_PONDER)
        if (search_state.search_flags.compare_exchange_weak(flags, uint16_t((flags ^ FLAG_PONDER) | FLAG_SEARCH)))
            break;
}

void uci_command(char* line) {
    while (*line == ' ') line++;
    char command[WORD_CAPACITY];
    size_t n = 0;
    while (line[n] && line[n] != ' ' && line[n] != '\r' && line[n] != '\n' && n < WORD_CAPACITY - 1) n++;
    memcpy(command, line, n);
    command[n] = 0;
    char* args = line + n + (line[n] != 0);

    bool searching = search_state.search_flags.load() != 0;
    if (!strcmp(command, "uci")) {
        options.uci_mode = 1;
        print_uci_identification();
    } else if (!strcmp(command, "isready")) {
        print_line("readyok");
    } else if (!strcmp(command, "debug")) {
        command_logging = true;
    } else if (!strcmp(command, "_show")) {
        print_selectivity();
    } else if (!strcmp(command, "eval") && !searching) {
        report_evaluations();
    } else if (!strcmp(command, "ponderhit")) {
        ponderhit();
    } else if (!strcmp(command, "stop")) {
        if (searching) {
            search_state.stop_flag.store(1);
            search_state.search_flags.fetch_or(FLAG_STOP);
        }
    } else if (!strcmp(command, "quit")) {
        set_quit_requested(1);
    } else if (!strcmp(command, "setoption") || !strcmp(command, "ucinewgame") || !strcmp(command, "position") ||
               !strcmp(command, "go")) {
        if (searching) {
            print_fmt("unexpected command %s, stopping Quox", command);
            set_quit_requested(1);
        } else if (command[0] == 's') {
            setoption(args);
        } else if (command[0] == 'u') {
            ucinewgame();
        } else if (command[0] == 'p') {
            position(args);
        } else {
            go(args);
        }
    }
}

}  // namespace

void print_uci_identification() {
    const EngineOptions& s = saved_settings;
    print_fmt("id name %s", ENGINE_NAME);
    print_fmt("id author %s", ENGINE_AUTHOR);
    print_string_option("ConfigFilePath", s.config_file);
    print_spin("Hash", options.hash_mb, 0, 65536);
    print_spin("Threads", 1, 1, 512);
    print_line("option name Clear Hash type button");
    print_string_option("NN_File", options.nn_file);
    print_check_option("Use_NN_eval", options.use_nn);
    print_check_option("OwnBook", s.own_book);
    print_string_option("OwnBook_File", s.book_file);
    print_spin("OwnBook_Depth", s.book_depth, 0, 100);
    print_string_option("OwnBook2_File", s.book2_file);
    print_spin("OwnBook2_Depth", s.book2_depth, 0, 100);
    print_spin("OwnBook_Variety", s.book_variety, 0, 100);
    print_string_option("SyzygyPath", s.syzygy_path);
    print_spin("SyzygyProbeDepth6", s.syzygy_probe_depth, -5, 100);
    print_check_option("Log", s.log);
    print_check_option("Ponder", s.ponder);
    print_spin("MultiPV", s.multipv, 1, 255);
    print_check_option("UCI_Chess960", options.chess960);
    print_spin("MoveOverhead", s.move_overhead, 0, 1000);
    print_check_option("UCI_LimitStrength", s.limit_strength);
    int calibrated = int(options.calibration_elo);
    if (saved_settings.uci_elo == 0) saved_settings.uci_elo = int16_t(calibrated);
    print_spin("UCI_Elo", saved_settings.uci_elo, 1500, calibrated);
    print_line("option name UCI_Opponent type string default ");
    print_spin("Contempt", s.contempt, -150, 150);
    print_spin("Selectivity", s.selectivity, 0, 200);
    print_line("uciok");
}

void execute_line(char* line) {
    if (options.uci_mode != 1 && strcmp(line, "uci") != 0) {
        if (options.uci_mode == 0) console_command(line);
        return;
    }
    line[strcspn(line, "\n")] = 0;
    if (!*line) return;
    if (command_logging) {
        char logged[INPUT_CAPACITY + 8];
        snprintf(logged, sizeof logged, "CMD: %s", line);
        log_line(logged);
    }
    uci_command(line);
}

// When the input ends, a search that will end by itself is allowed to finish
// (scripts pipe "go depth 12" and expect the answer); anything else would
// wait forever for a command that cannot come. A closed terminal has nobody
// left to read the answer, so the engine quits at once.
static bool running_to_its_end() {
    uint16_t flags = search_state.search_flags.load();
    if (!(flags & (FLAG_SEARCH | FLAG_GO | FLAG_ANALYSE))) return false;
    // A mate search ends by itself once it finds the mate.
    bool unbounded = options.limit_mode == 1 && options.time_per_move >= 1e6f && options.depth_limit >= 80 &&
                     options.node_limit >= 1000000000000000ull && search_state.mate_moves == 0;
    return !unbounded;
}

void poll_input() {
    char line[INPUT_CAPACITY];
    if (read_input_line(line, sizeof line))
        execute_line(line);
    else if (input_exhausted() && (input_hung_up() || !running_to_its_end()))
        set_quit_requested(1);
}
