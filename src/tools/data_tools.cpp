#include "tools/data_tools.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/notation.h"
#include "tools/modes.h"
#include "core/io.h"
#include "core/settings.h"
#include "search/game.h"
#include "search/rating.h"
#include "tools/datagen.h"
#include "tools/pgn.h"
#include "tools/prune_net.h"
#include "tools/records.h"
#include "tools/score_training.h"
#include "tools/train_stats.h"
#include "tools/tool_files.h"

namespace {

constexpr int FILTER_LISTS = 16384;
constexpr size_t FILTER_LIST_LIMIT = 54930;
constexpr uint16_t PTB_UNUSED = 8193;

// The name with its first `from` extension replaced by `to`; empty when it has none.
std::string renamed(const char* name, const char* from, const char* to) {
    const char* at = strstr(name, from);
    if (!at) return "";
    std::string out(name);
    out.replace(size_t(at - name), strlen(from), to);
    return out;
}

// The time of day, where the original tools ran the shell's "time /t".
void print_time_of_day() {
    char text[16];
    const time_t now = time(nullptr);
    strftime(text, sizeof text, "%H:%M", localtime(&now));
    printf("%s\n", text);
}

void strip_line_end(char* line) {
    size_t n = strlen(line);
    while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
}

// One EPD line as a record: false when the line is skipped.
bool epd_line_record(const char* line, Position& pos, PackedPosition& record) {
    EpdFields fields;
    split_epd(line, fields);
    const char *fen = fields.fen, *ce = fields.ce, *sc = fields.sc, *gr = fields.gr;
    if (!ce[0] && !sc[0]) return false;
    const int ce_value = atoi(ce[0] ? ce : sc);
    int sc_value = sc[0] ? atoi(sc) : ce_value;
    const float result = gr[0] ? float(atof(gr)) : win_probability(float(ce_value));
    if (set_fen(pos, fen) != 0) return false;
    sc_value = sc_value < -3000 ? -3000 : sc_value > 3000 ? 3000 : sc_value;
    const float p = win_probability(float(sc_value));
    // A score that contradicts the game's result is more likely wrong than instructive.
    float r = result;
    if (result == 0.5f) {
        if (p > 0.9f || p < 0.1f) return false;
    } else if (result == 0.0f) {
        if (p > 0.8f) return false;
        r = 0.000001f;
    } else if (result == 1.0f) {
        if (p < 0.2f) return false;
        r = 0.999999f;
    }
    encode_training_record(pos, record);
    record.result_score = result_score(r);
    record.ce = int16_t(ce_value);
    record.sc = int16_t(sc_value);
    return true;
}

// Game result for the side to move of a PGN game: 1, 0.5 or 0.
float pgn_result(const PgnGame& g, int side) {
    if (g.result == 0) return 0.5f;
    return (g.result > 0) == (side == WHITE) ? 1.0f : 0.0f;
}

void write_scanned_game(FILE* out, PgnGame& g) {
    const bool from_start = strlen(g.fen) < 11;
    if (set_fen(game.pos, from_start ? START_FEN : g.fen) != 0) return;
    const int skip = from_start ? 16 : 4;
    char last_written[100] = "";
    int avg = 0;
    for (int i = 0; i < g.move_count - 2 && i < 240; i++) {
        const int s = g.scores[i];
        avg = (15 * avg + s) / 16;
        Move m;
        if (!parse_move(game, g.moves[i], m)) {
            print_fmt("can't parse move %d. %s in game #%d  %s", i / 2 + 1, g.moves[i], g.games, last_written);
            return;
        }
        const float gr = pgn_result(g, game.pos.side);
        const bool capture = game.pos.board[move_to(m)] != 0;
        const bool dull_draw = gr == 0.5f && std::abs(s) < 40 && avg >= -39 && avg <= 39;
        if (i >= skip && !capture && !dull_draw) {
            write_fen(game.pos, last_written, 0);
            fprintf(out, "%s ce %d; gr %0.1f;\n", last_written, s, double(gr));
        }
        make_game_move(game, m);
    }
}

}  // namespace

void scan_pgn() {
    const char* in_name = options.pgn_input;
    if (!strstr(in_name, ".pgn") || !strstr(options.output_file, ".epd")) return;
    PgnReader reader;
    if (pgn_open(reader, in_name) != 0) return;
    FILE* out = open_tool_file(options.output_file, "w");
    if (!out) {
        pgn_close(reader);
        return;
    }
    auto g = std::make_unique<PgnGame>();
    memset(g.get(), 0, sizeof(PgnGame));
    std::string text;
    while (pgn_next_game(reader, text)) {
        pgn_parse_game(*g, text.data());
        write_scanned_game(out, *g);
    }
    fputc('\n', out);
    fclose(out);
    pgn_close(reader);
    printf("read %d games\n\n", g->games);
}

void ptb_features(const Position& pos, uint16_t features[32]) {
    static constexpr int BASE[7] = {0, 64, 128, 192, 256, 320, 0};  // the king's rows come first
    const int us = pos.side;
    int flip = us == BLACK ? 56 : 0;
    if (file_of(pos.kingSq[us]) < 4) flip ^= 7;
    int n = 0;
    for (int type = PAWN; type <= KING; type++)
        for (int color = WHITE; color <= BLACK; color++)
            for (Bitboard b = pos.pieces[color][type]; b && n < 32;) {
                const int sq = pop_lsb(b);
                features[n++] = uint16_t(BASE[type] + (color == us ? 0 : 384) + (sq ^ flip));
            }
    while (n < 32) features[n++] = PTB_UNUSED;
}

void epd_to_bin() {
    const char* in_name = options.epd_input;
    const std::string out_name = renamed(in_name, ".epd", ".bin");
    if (out_name.empty()) return;
    FILE* in = open_tool_file(in_name, "r");
    if (!in) return;
    // Lines are at least 20 characters: a sixtieth of the bytes is a fair first guess; the buffer grows.
    struct stat st;
    const uint64_t guess = fstat(fileno(in), &st) == 0 ? uint64_t(st.st_size) / 60 + 1024 : 1024;
    if (training_set_allocate(guess) != 0) {
        fclose(in);
        return;
    }
    printf("allocated %.0f Mbytes for training data.\n", double(training_set.capacity) * sizeof(PackedPosition) / 1e6);
    printf("reading positions from file %s.\n", in_name);
    Position pos{};
    char line[254];
    while (fgets(line, sizeof line, in)) {
        if (line[0] == ' ' || line[0] == '#' || line[0] == ';' || strlen(line) < 20) continue;
        strip_line_end(line);
        PackedPosition record;
        if (!epd_line_record(line, pos, record)) continue;
        if (training_set_reserve_one() != 0) break;
        training_set.records[training_set.count++] = record;
    }
    printf("read %.0f positions.\n\n", double(training_set.count));
    fclose(in);
    FILE* out = open_tool_file(out_name.c_str(), "wb");
    if (out) {
        const size_t written = fwrite(training_set.records, sizeof(PackedPosition), training_set.count, out);
        fclose(out);
        printf("stored %d positions in %s.\n\n", int(written), out_name.c_str());
    }
    training_set_free();
}

namespace {

// Reads the training file and hands every record, decoded whatever the
// decoder's filters say, to write: the output is the input name with ".bin"
// replaced by extension.
template <class WriteRecord>
void convert_records(const char* extension, const char* mode, WriteRecord write) {
    const std::string out_name = renamed(options.training_file, ".bin", extension);
    if (out_name.empty()) return;
    FILE* out = nullptr;
    if (read_training_file(options.training_file) == 0 && (out = open_tool_file(out_name.c_str(), mode))) {
        Position pos{};
        for (uint32_t i = 0; i < training_set.count; i++) {
            float target;
            decode_training_record(training_set.records, i, pos, target);
            write(out, training_set.records[i], pos, target);
        }
        fclose(out);
    }
    training_set_free();
}

}  // namespace

void bin_to_epd() {
    convert_records(".epd", "w", [](FILE* out, const PackedPosition& r, const Position& pos, float) {
        char fen[100];
        write_fen(pos, fen, 0);
        fprintf(out, "%s ce %d; sc %d; gr %0.1f;\n", fen, r.ce, r.sc, double(win_probability(r.result_score)));
    });
}

void bin_to_ptb() {
    // Every record is written with its own target, whatever the decoder's filters say.
    convert_records(".ptb", "wb", [](FILE* out, const PackedPosition&, const Position& pos, float target) {
        uint8_t record[68];
        uint16_t features[32];
        ptb_features(pos, features);
        memcpy(record, features, sizeof features);
        memcpy(record + 64, &target, sizeof target);
        fwrite(record, sizeof record, 1, out);
    });
}

void filter_training_data() {
    const char* name = options.training_file;
    if (!strstr(name, ".bin")) return;
    // Lists grow with the data instead of being reserved whole (16384 x 54931 keys, 7 GB).
    std::vector<std::vector<uint64_t>> lists(FILTER_LISTS);
    FILE* in = open_tool_file(name, "rb");
    FILE* out = in ? open_tool_file("filtered.bin", "wb") : nullptr;
    if (!out) {
        if (in) fclose(in);
        return;
    }
    printf("filtering duplicates from %s\n", name);
    print_time_of_day();
    size_t longest = 0, stored = 0;
    PackedPosition record;
    while (fread(&record, sizeof record, 1, in) == 1) {
        const uint64_t key = record_key(record);
        std::vector<uint64_t>& list = lists[key & (FILTER_LISTS - 1)];
        bool seen = false;
        for (uint64_t k : list)
            if (k == key) {
                seen = true;
                break;
            }
        if (seen) continue;
        if (list.size() >= FILTER_LIST_LIMIT) {
            print_line("?");
        } else {
            list.push_back(key);
            stored++;
            if (list.size() > longest) longest = list.size();
        }
        fwrite(&record, sizeof record, 1, out);
    }
    fclose(in);
    fclose(out);
    printf("max block count is %d\n", int(longest));
    printf("wrote %d positions to filtered.bin\n\n", int(stored));
    print_time_of_day();
}

int run_data_tool(int mode) {
    switch (mode) {
        case MODE_SCAN_PGN: scan_pgn(); break;
        case MODE_GEN_TRAINING: generate_training_data(options.record_count); break;
        case MODE_FILTER_TRAINING: filter_training_data(); break;
        case MODE_EPD_TO_BIN: epd_to_bin(); break;
        case MODE_BIN_TO_EPD: bin_to_epd(); break;
        case MODE_BIN_TO_PTB: bin_to_ptb(); break;
        case MODE_SCORE_TRAINING: score_training_data(); break;
        case MODE_TRAINING_STATS: training_material_stats(); break;
        case MODE_GEN_CORRHIST: generate_correction_history(); break;
        case MODE_PRUNE_NN: prune_network(); break;
        default: break;
    }
    return 0;
}
