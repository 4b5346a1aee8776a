#include "tools/tune_data.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "board/move.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/see.h"
#include "board/thread_board.h"
#include "eval/evaluate.h"
#include "eval/scale.h"
#include "search/rating.h"
#include "tools/pgn.h"
#include "tools/tool_files.h"

namespace {

bool held_out(const TuneSource& source, long unit) {
    return source.valid_every > 1 && unit % source.valid_every == source.valid_every - 1;
}

// The result tag must say how the game ended: an unfinished game ("*") is no draw.
bool has_result(const std::string& text) {
    size_t at = text.find("[Result \"");
    if (at == std::string::npos) return false;
    const char* value = text.c_str() + at + 9;
    return !strncmp(value, "1-0\"", 4) || !strncmp(value, "0-1\"", 4) || !strncmp(value, "1/2-1/2\"", 8);
}

void read_pgn(const char* path, const TuneSource& source, TuneData& data, TuneReader& r) {
    PgnReader reader;
    if (pgn_open(reader, path) != 0) return;
    auto game = std::make_unique<PgnGame>();
    std::string text;
    while (pgn_next_game(reader, text)) {
        if (!has_result(text)) continue;
        pgn_parse_game(*game, text.data());
        if (game->move_count == 0) continue;
        bool from_fen = strlen(game->fen) >= 11;
        if (set_fen(r.tb.pos, from_fen ? game->fen : START_FEN) != 0) continue;
        TuneSet& set = held_out(source, data.games) ? data.valid : data.train;
        data.games++;
        int skip = from_fen ? 4 : 16;
        float result = game->result > 0 ? 1.0f : game->result < 0 ? 0.0f : 0.5f;
        for (int i = 0; i < game->move_count; i++) {
            Move m;
            if (!parse_move(r.tb, game->moves[i], m)) break;
            const Position& pos = r.tb.pos;
            int from = move_from(m), to = move_to(m);
            bool capture = pos.board[to] || (piece_type(pos.board[from]) == PAWN && to == pos.epSquare);
            bool promotion = piece_type(pos.board[from]) == PAWN && (m & MOVE_FLAGS);
            if (i >= skip && !capture && !promotion && is_quiet_position(pos))
                add_tune_position(r, data, set, source, pos, result, result);
            make_game_move(r.tb, m);
        }
    }
    pgn_close(reader);
}

void read_labelled(const char* path, const TuneSource& source, TuneData& data, TuneReader& r) {
    FILE* file = open_tool_file(path, "r");
    if (!file) return;
    char line[512];
    std::string fen;
    long number = 0;
    while (fgets(line, sizeof line, file)) {
        size_t length = strlen(line);
        if (length == 0 || line[length - 1] != '\n') {
            // Too long for any position line, or the unfinished last line: drop the rest of it.
            int c;
            while ((c = fgetc(file)) != EOF && c != '\n') {}
            number++;
            continue;
        }
        TuneSet& set = held_out(source, number / TUNE_BLOCK_LINES) ? data.valid : data.train;
        number++;
        int ce;
        float result;
        if (!parse_labelled_line(line, fen, ce, result)) continue;
        if (set_fen(r.tb.pos, fen.c_str()) != 0) continue;
        data.lines++;
        const Position& pos = r.tb.pos;
        if (!is_quiet_position(pos)) continue;
        double w = source.result_weight;
        float own = float(w * result + (1 - w) * win_probability(float(ce)));
        bool white = pos.side == WHITE;
        add_tune_position(r, data, set, source, pos, white ? own : 1 - own, white ? result : 1 - result);
    }
    fclose(file);
}

bool has_extension(const std::string& path, const char* extension) {
    return std::filesystem::path(path).extension() == extension;
}

}  // namespace

bool parse_labelled_line(const char* line, std::string& fen, int& ce, float& result) {
    EpdFields fields;
    split_epd(line, fields);
    const char* ce_text = fields.ce;
    const char* gr_text = fields.gr;
    if (!*fields.fen || !*ce_text || !*gr_text) return false;
    char* end;
    long score = strtol(ce_text, &end, 10);
    if (*end || end == ce_text) return false;
    double r = strtod(gr_text, &end);
    if (*end || end == gr_text || !(r == 0 || r == 0.5 || r == 1)) return false;
    fen = fields.fen;
    ce = int(std::clamp(score, -32000L, 32000L));
    result = float(r);
    return true;
}

bool is_quiet_position(const Position& pos) {
    int side = pos.side;
    if (is_attacked(pos, pos.kingSq[side], side ^ 1)) return false;
    int rule_score;
    if (endgame_rule(pos, side, rule_score)) return false;
    // A pawn that can step onto the last rank, or take there.
    Bitboard seventh = pos.pieces[side][PAWN] & relative_rank_bb(side, 6);
    if (seventh) {
        Bitboard targets = push_bb(side, seventh) & ~pos.occupied();
        for (Bitboard b = seventh; b;) targets |= PawnAttacks[side][pop_lsb(b)] & pos.pieces[side ^ 1][0];
        if (targets) return false;
    }
    MoveEntry list[LIST_CAP];
    MoveEntry* end = gen_captures(pos, side, list, NO_SQUARE);
    for (MoveEntry* e = list; e < end; e++)
        if (see_move(pos, side, move_from(e->move), move_to(e->move)) > 0) return false;
    return true;
}

std::unique_ptr<TuneReader> new_tune_reader() {
    auto r = std::make_unique<TuneReader>();
    init_thread_board(r->tb);
    memset(&r->es, 0, sizeof r->es);
    return r;
}

void add_tune_position(TuneReader& reader, TuneData& data, TuneSet& set, const TuneSource& source,
                       const Position& pos, float white_target, float white_result) {
    HceTrace& trace = reader.trace;
    hce_trace(reader.es, pos, trace);
    if (data.seen.size() != size_t(param_count)) data.seen.assign(size_t(param_count), 0);

    TuneSample s;
    s.target = white_target;
    s.result = white_result;
    s.phase = trace.phase;
    s.scale[WHITE] = endgame_scale(pos, 1);
    s.scale[BLACK] = endgame_scale(pos, -1);
    s.first = uint32_t(set.coefs.size());
    double mg = 0, eg = 0;
    for (int i = 0; i < param_count; i++) {
        float c = trace.coef[i][WHITE] - trace.coef[i][BLACK];
        if (&set == &data.train) data.seen[size_t(i)] += trace.coef[i][WHITE] + trace.coef[i][BLACK];
        if (c == 0) continue;
        if (source.fitted[size_t(i)]) {
            set.coefs.push_back({uint16_t(i), c});
        } else {
            mg += c * param_table[i].mg;
            eg += c * param_table[i].eg;
        }
    }
    s.fixed_mg = float(mg);
    s.fixed_eg = float(eg);
    s.count = uint16_t(set.coefs.size() - s.first);
    set.samples.push_back(s);
    set.positions.push_back(pos);
    set.positions.back().owner = nullptr;
}

int read_tune_files(const char* path, const TuneSource& source, TuneData& data) {
    std::vector<std::string> files;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
            std::string name = entry.path().string();
            if (entry.is_regular_file(ec) && (has_extension(name, ".pgn") || has_extension(name, ".epd")))
                files.push_back(name);
        }
        std::sort(files.begin(), files.end());
    } else if (std::filesystem::is_regular_file(path, ec)) {
        files.push_back(path);
    }
    auto reader = new_tune_reader();
    for (const std::string& file : files) {
        if (has_extension(file, ".epd"))
            read_labelled(file.c_str(), source, data, *reader);
        else
            read_pgn(file.c_str(), source, data, *reader);
    }
    return int(files.size());
}

double tune_model_eval(const TuneSet& set, const TuneSample& s, const double* mg, const double* eg) {
    double m = s.fixed_mg, e = s.fixed_eg;
    const TuneCoef* c = &set.coefs[s.first];
    for (int j = 0; j < s.count; j++) {
        m += c[j].value * mg[c[j].index];
        e += c[j].value * eg[c[j].index];
    }
    double blend = s.phase * m + (1 - s.phase) * e;
    return s.scale[blend >= 0 ? WHITE : BLACK] * blend;
}
