#include "tools/epd_analysis.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "board/move.h"
#include "board/notation.h"
#include "board/perft.h"
#include "core/io.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tools/tool_files.h"

namespace {

constexpr size_t LINE_CAPACITY = 511;  // lines of up to 510 characters
constexpr const char* DEFAULT_OUTPUT = "analysis.epd";
constexpr const char* BOOK_CANDIDATES = "tmp_0.epd";
constexpr int BOOK_WINDOW = 100;  // centipawns below the best that still make a candidate
constexpr int SILENT = 99999;

struct Totals {
    int analysed = 0, correct = 0;
    int points = 0, possible = 0;
    uint64_t nodes = 0;
    float time = 0, depth = 0, branching = 0;
};

// Calls visit(move) for every legal move an operand names. The operand is
// split at `separators`; check and annotation marks are dropped; and since
// the EPD reader drops the blanks between moves ("bm Qd1 Qe2" reads
// "Qd1Qe2"), each piece is taken apart into the longest texts that name
// legal moves. The rest of a piece that names none is ignored.
template <class Visit>
void for_each_move(const char* operand, const char* separators, Visit visit) {
    char piece[LINE_CAPACITY];
    while (*operand) {
        size_t n = 0;
        for (; *operand && !strchr(separators, *operand); operand++)
            if (!strchr("+#!?", *operand) && n + 1 < sizeof piece) piece[n++] = *operand;
        if (*operand) operand++;
        for (size_t at = 0; at < n;) {
            size_t length = n - at < MOVE_TEXT_SIZE - 1 ? n - at : MOVE_TEXT_SIZE - 1;
            Move m = MOVE_NONE;
            for (; length >= 2; length--) {
                char text[MOVE_TEXT_SIZE];
                memcpy(text, piece + at, length);
                text[length] = 0;
                if (parse_move(game, text, m)) break;
            }
            if (length < 2) break;
            visit(m);
            at += length;
        }
    }
}

// bm: one of its moves was found; else am: it names moves and none was played.
bool is_correct(const EpdFields& f, Move best) {
    bool found = false;
    if (f.bm[0]) {
        for_each_move(f.bm, " ,;\"\n", [&](Move m) { found |= m == best; });
        return found;
    }
    if (!f.am[0]) return false;
    bool named = false;
    for_each_move(f.am, " ,;\"\n", [&](Move m) {
        named = true;
        found |= m == best;
    });
    return named && !found;
}

// c0 "move=points, ...": the most a position offers, and what the move found earns.
void add_points(const char* c0, Move best, Totals& t) {
    if (!strchr(c0, '=')) return;
    char piece[LINE_CAPACITY];
    int most = 0, earned = 0;
    for (const char* s = c0; *s;) {
        size_t n = 0;
        for (; *s && !strchr(", \"\n", *s); s++)
            if (n + 1 < sizeof piece) piece[n++] = *s;
        piece[n] = 0;
        if (*s) s++;
        char* equals = strrchr(piece, '=');
        if (!equals || equals == piece) continue;
        *equals = 0;
        const int points = atoi(equals + 1);
        if (points > most) most = points;
        for_each_move(piece, "", [&](Move m) {
            if (m == best) earned = points;
        });
    }
    t.possible += most;
    t.points += earned;
}

// Fourth root of the growth over the last four iterations; 2 when there are too few.
float branching_factor(const SearchState& s) {
    const int d = s.best_depth;
    if (d <= 5 || !s.nodes_by_depth[d] || !s.nodes_by_depth[d - 4]) return 2.0f;
    return float(std::pow(double(s.nodes_by_depth[d]) / double(s.nodes_by_depth[d - 4]), 0.25));
}

// The positions behind the root moves that score within the window of the best.
void write_candidates(FILE* book) {
    const SearchState& s = search_state;
    const bool lines = options.multipv > 1;  // root scores are kept per line only then
    const int count = lines ? (options.multipv < 256 ? options.multipv : 256) : 1;
    const int best = lines ? s.multipv_score[0] : s.best_score;
    for (int j = 0; j < count; j++) {
        const Move m = lines ? s.multipv_move[j] : s.best_line[1];
        const int score = lines ? s.multipv_score[j] : best;
        if (m == MOVE_NONE || score < best - BOOK_WINDOW) continue;
        char fen[128];
        make_move(game.pos, m);
        write_fen(game.pos, fen, 0);
        unmake_move(game.pos);
        fprintf(book, "%s\n", fen);
    }
}

void search_position() {
    SearchState& s = search_state;
    if (s.table_enabled) {
        s.hashfull = 0;
        tt_clear();
    }
    search_start(FLAG_ANALYSE, 1);
    s.search_flags.store(0);
}

void print_summary(const Totals& t) {
    const int n = t.analysed;
    print_fmt("%d / %d correct best moves", t.correct, n);
    print_fmt("total nodes= %0.0f", double(t.nodes));
    print_fmt("total time= %0.2f seconds", double(t.time));
    print_fmt("avg depth= %0.1f", n ? double(t.depth / float(n)) : 0.0);
    print_fmt("avg nodes= %0.1f", n ? double(t.nodes / uint64_t(n)) : 0.0);
    print_fmt("node_rate= %0.0f", double(t.nodes) / (double(t.time) + 0.001));
    print_fmt("avg bf= %0.2f", n ? double(t.branching / float(n)) : 0.0);
    print_fmt("score= %d / %d", t.points, t.possible);
    print_line("");
}

}  // namespace

void analyse_epd(const char* path, int book_flag) {
    if (!path[0]) path = DEFAULT_OUTPUT;
    FILE* in = open_tool_file(options.epd_input, "r");
    FILE* out = open_tool_file(path, "w");
    FILE* book = open_tool_file(BOOK_CANDIDATES, "w");
    if (!in || !out || !book) {
        for (FILE* f : {in, out, book})
            if (f) fclose(f);
        return;
    }
    print_fmt("Analyzing %s...", options.epd_input);
    SearchState& s = search_state;
    const uint8_t table_enabled = s.table_enabled;
    if (options.depth_limit < 4) s.table_enabled = 0;  // shallow searches gain nothing from it
    options.calibration_nps = 10000000;
    options.calibration_elo = 4000;

    Totals t;
    char line[LINE_CAPACITY];
    while (read_text_line(in, line, sizeof line)) {
        if (line[0] == ' ' || line[0] == '#' || line[0] == ';' || strlen(line) <= 9) continue;
        EpdFields f;
        split_epd(line, f);
        if (set_fen(game.pos, f.fen) != 0) continue;
        t.analysed++;
        const bool verbose = options.noise != SILENT;
        if (verbose) {
            print_fmt("pos= %d", t.analysed);
            print_line(line);
            print_board(game.pos);
        }
        search_position();
        const Move best = s.best_line[1];
        const float elapsed = s.elapsed.load();
        t.nodes += s.nodes;
        t.time += elapsed;
        t.depth += float(s.best_depth);
        t.branching += branching_factor(s);
        t.correct += is_correct(f, best);
        add_points(f.c0, best, t);
        if (verbose) {
            char text[MOVE_TEXT_SIZE];
            move_text(game.pos, game.pos.side, best, text);
            print_fmt("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps\n", text, double(elapsed),
                      s.best_score, double(s.nodes), double(s.nodes) / (double(elapsed) + 0.002) * 0.001);
        }
        if (best != MOVE_NONE) {
            char from[3], to[3];
            square_name(move_from(best), from);
            square_name(move_to(best), to);
            fprintf(out, "%s bm %s%s; ce %d;\n", f.fen, from, to, s.best_score);
        }
        if (book_flag) write_candidates(book);
        if (quit_requested()) break;
    }
    s.table_enabled = table_enabled;
    print_summary(t);
    for (FILE* f : {in, out, book}) fclose(f);
}
