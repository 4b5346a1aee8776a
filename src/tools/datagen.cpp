#include "tools/datagen.h"

#include <cstring>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "core/settings.h"
#include "search/draw.h"
#include "search/game.h"
#include "search/state.h"
#include "search/thread.h"
#include "tools/progress.h"
#include "tools/records.h"
#include "tools/tool_files.h"

namespace {

constexpr const char* OPENING_FILE = "mybook_6mv.epd";
constexpr size_t MAX_OPENINGS = 199001;
constexpr int MIN_GAME_PLIES = 30;   // shorter games are not written at all
constexpr int FIRST_WRITTEN_PLY = 8;
constexpr int LONG_GAME_PLY = 250;   // from here on every position is adjudicated
constexpr int MAX_GENERATED_PLIES = LONG_GAME_PLY + 1;

bool read_openings(std::vector<std::string>& lines) {
    FILE* f = open_tool_file(OPENING_FILE, "r");
    if (!f) return false;
    char line[512];
    while (lines.size() < MAX_OPENINGS && fgets(line, sizeof line, f)) lines.emplace_back(line);
    fclose(f);
    return !lines.empty();
}

// Sets the game record from the FEN part of an EPD line: 0, or -1.
int set_opening(const std::string& line) {
    EpdFields fields;
    split_epd(line.c_str(), fields);
    return set_fen(game.pos, fields.fen);
}

// SAN of the move with the score comment; castling is written as the king's step.
void move_record_text(const Position& pos, Move m, int score, int depth, bool quiet, char* out, size_t size) {
    char coordinate[MOVE_TEXT_SIZE], san[MOVE_TEXT_SIZE], by_file[MOVE_TEXT_SIZE], by_rank[MOVE_TEXT_SIZE];
    if (is_castling(pos, m)) {
        const int to = (move_from(m) & 56) + (move_flags(m) == CASTLE_KING_SIDE ? 6 : 2);
        san[0] = 'K';
        square_name(to, san + 1);
    } else {
        move_texts(pos, m, coordinate, san, by_file, by_rank);
    }
    snprintf(out, size, "%s {%0.2f/%d}", san, quiet ? score / 100.0 : 0.0, depth);
}

// Plays one game from the game record's position. Returns the number of
// searched plies recorded; results[colour] are set when the game is adjudicated.
int play_game(GeneratedPly* plies, float results[2]) {
    SearchState& s = search_state;
    int prev = 0;
    for (int ply = 0; ply < MAX_GENERATED_PLIES; ply++) {
        if (is_draw_by_rule(game) || popcount(game.pos.occupied()) == 2) return ply;
        search_start(FLAG_ANALYSE, 0);
        s.search_flags.store(0);
        const Move best = s.best_line[1];
        if (best == MOVE_NONE) return ply;

        GeneratedPly& p = plies[ply];
        const int score = s.best_score, static_eval = s.root_static_eval, qscore = s.root_qscore;
        write_fen(game.pos, p.fen, 0);
        p.static_eval = int16_t(static_eval);
        p.qscore = int16_t(qscore);
        p.score = int16_t(score);
        p.side = game.pos.side;
        move_record_text(game.pos, best, score, s.best_depth, static_eval >= -2999 && qscore <= static_eval + 50,
                         p.move, sizeof p.move);

        const int verdict = adjudicate(score, prev, ply);
        if (verdict != 2) {
            const int side = game.pos.side;
            if (verdict != 0) {
                results[side] = verdict > 0 ? 1.0f : 0.0f;
                results[side ^ 1] = verdict > 0 ? 0.0f : 1.0f;
            }
            return ply + 1;
        }
        if (make_game_move(game, best) != 0) return ply + 1;
        prev = score;
    }
    return MAX_GENERATED_PLIES;
}

}  // namespace

int adjudicate(int score, int prev, int ply) {
    if (score >= 1500) return prev <= -1500 || ply >= LONG_GAME_PLY ? 1 : 2;
    if (score <= -1500) return prev >= 1500 || ply >= LONG_GAME_PLY ? -1 : 2;
    if (ply < LONG_GAME_PLY) return 2;
    return score > 500 ? 1 : score < -500 ? -1 : 0;
}

int write_generated_game(FILE* pgn, FILE* out, uint64_t game_number, const char* opening_fen,
                         const GeneratedPly* plies, int count, const float results[2]) {
    if (count < MIN_GAME_PLIES) return 0;
    const char* result = results[WHITE] == 1.0f ? "1-0" : results[BLACK] == 1.0f ? "0-1" : "1/2-1/2";
    fprintf(pgn, "[Event \"autogen\"]\n[Game \"g_%llu\"]\n[White \"Quox\"]\n[Black \"Quox\"]\n",
            (unsigned long long)game_number);
    fprintf(pgn, "[Result \"%s\"]\n[FEN \"%s\"]\n", result, opening_fen);
    for (int i = 0; i < count; i++) {
        fprintf(pgn, "%s ", plies[i].move);
        if (plies[i].side == BLACK) fputc('\n', pgn);
    }
    fputs("\n\n", pgn);

    int lines = 0;
    for (int i = FIRST_WRITTEN_PLY; i < count; i++) {
        const GeneratedPly& p = plies[i];
        if (p.static_eval == -3000 || p.qscore + 49 < p.static_eval) continue;  // in check, or not quiet
        fprintf(out, "%s ce %d; gr %0.1f;\n", p.fen, p.score, double(results[p.side]));
        lines++;
    }
    fflush(pgn);
    fflush(out);
    return lines;
}

void generate_training_data(uint64_t games) {
    std::vector<std::string> openings;
    if (!read_openings(openings)) return;
    FILE* out = open_tool_file(options.training_file, "w");
    FILE* pgn = open_tool_file("autogen.pgn", "w");
    if (!out || !pgn) {
        if (out) fclose(out);
        if (pgn) fclose(pgn);
        return;
    }
    printf("generating training data\n");
    options.eval_noise = 99;
    options.noise = 99999;
    if (options.depth_limit < 3) search_state.table_enabled = 0;
    options.calibration_nps = 10000000;
    options.calibration_elo = 4000;

    std::vector<GeneratedPly> plies(MAX_GENERATED_PLIES);
    ProgressTimer progress(60);
    uint64_t positions = 0, written_games = 0, g = 0;
    auto report = [&](double elapsed) {
        fprintf(stderr, "games %llu (%llu written), positions %llu, %.0f positions/s\n", (unsigned long long)g,
                (unsigned long long)written_games, (unsigned long long)positions,
                double(positions) / (elapsed > 0 ? elapsed : 1));
    };
    for (; g != games; g++) {
        double elapsed;
        if (progress.due(elapsed)) report(elapsed);
        if (set_opening(openings[next_training_random() % openings.size()]) != 0) continue;
        char opening_fen[100];
        write_fen(game.pos, opening_fen, 0);
        float results[2] = {0.5f, 0.5f};
        const int count = play_game(plies.data(), results);
        const int lines = write_generated_game(pgn, out, g, opening_fen, plies.data(), count, results);
        positions += uint64_t(lines);
        written_games += count >= MIN_GAME_PLIES;
        if (quit_requested()) break;
    }
    report(progress.elapsed());
    fclose(out);
    fclose(pgn);
}
