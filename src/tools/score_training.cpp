#include "tools/score_training.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "board/move.h"
#include "board/movegen.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/rating.h"
#include "search/state.h"
#include "search/thread.h"
#include "tools/tool_files.h"

namespace {

constexpr size_t LINE_CAPACITY = 254;  // lines of up to 253 characters
constexpr int PLAY_OUT_DEPTH = 2;
constexpr int TABLEBASE_WIN = 6000;

void search_here() {
    search_start(FLAG_ANALYSE, 0);
    search_state.search_flags.store(0);
}

// Plays the line of a shallow search to its end, so the position scored is
// the quiet one the search expects; ce and gr follow the side to move.
void play_out_short_line(int& ce, float& gr) {
    const int16_t depth_limit = options.depth_limit;
    options.depth_limit = PLAY_OUT_DEPTH;
    search_here();
    options.depth_limit = depth_limit;
    Move line[MAX_PLY + 1];
    memcpy(line, search_state.best_line, sizeof line);
    for (int i = 1; i <= MAX_PLY && line[i] != MOVE_NONE; i++) {
        if (make_game_move(game, line[i]) != 0) break;
        ce = -ce;
        gr = 1.0f - gr;
    }
}

bool in_check(const Position& pos) { return is_attacked(pos, pos.kingSq[pos.side], pos.side ^ 1); }

// The score of the last search, or +-6000 / 0 when the root tablebase probe
// settled the position as won, lost or drawn. The one place that reads the
// root result.
int training_score_of_search() {
    const SearchState& s = search_state;
    switch (s.root_tb_result) {  // tb_probe_wdl's scale: 0 loss .. 4 win
        case 4: return TABLEBASE_WIN;
        case 0: return -TABLEBASE_WIN;
        case 1:
        case 2:
        case 3: return 0;
        default: return s.best_score;
    }
}

}  // namespace

void score_training_data() {
    if (!strstr(options.epd_input, ".epd") || !strstr(options.output_file, ".epd")) return;
    FILE* in = open_tool_file(options.epd_input, "r");
    FILE* out = in ? open_tool_file(options.output_file, "w") : nullptr;
    if (!out) {
        if (in) fclose(in);
        return;
    }
    options.noise = 99999;
    if (options.depth_limit < 3) search_state.table_enabled = 0;
    options.calibration_nps = 10000000;
    options.calibration_elo = 4000;

    const SearchState& s = search_state;
    char line[LINE_CAPACITY];
    while (read_text_line(in, line, sizeof line)) {
        if (!line[0] || line[0] == ' ' || line[0] == '#' || line[0] == ';') continue;
        EpdFields f;
        split_epd(line, f);
        if (set_fen(game.pos, f.fen) != 0) {
            printf("%s\n", line);
            continue;
        }
        int ce = atoi(f.ce);
        const bool has_result = f.gr[0] != 0;
        float gr = has_result ? float(atof(f.gr)) : 0.5f;
        play_out_short_line(ce, gr);
        if (in_check(game.pos)) continue;

        search_here();
        const Move best = s.best_line[1];
        if (best == MOVE_NONE || game.pos.board[move_to(best)] != 0) continue;
        if (s.root_qscore > s.root_static_eval + 50) continue;  // a capture sequence is pending
        const int score = training_score_of_search();
        const float ps = win_probability(float(score)), pe = win_probability(float(s.root_static_eval));
        if (std::fabs(pe - ps) > 0.3f) continue;
        if (has_result && std::fabs(ps - gr) >= 0.5f) continue;

        char fen[128];
        write_fen(game.pos, fen, 0);
        if (has_result)
            fprintf(out, "%s ce %d; sc %d; gr %0.1f;\n", fen, ce, score, double(gr));
        else
            fprintf(out, "%s sc %d;\n", fen, score);
        fflush(out);
    }
    fclose(in);
    fclose(out);
}
