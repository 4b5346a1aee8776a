#include "tools/pgn.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "board/notation.h"
#include "core/io.h"
#include "search/game.h"

#include "tools/tool_files.h"

namespace {

bool blank(char c) { return c != 0 && uint8_t(c) <= ' '; }

// Token closed by a given character (included in the token).
char* closed_by(char*& p, char close) {
    char* start = p;
    char* end = strchr(p + 1, close);
    p = end ? end + 1 : p + strlen(p);
    return start;
}

// A variation with the variations nested in it; a comment inside may hold
// parentheses of its own.
char* variation(char*& p) {
    char* start = p;
    for (int depth = 0; *p; p++) {
        if (*p == '{') {
            char* close = strchr(p, '}');
            if (!close) break;
            p = close;
        } else if (*p == '(') {
            depth++;
        } else if (*p == ')' && --depth == 0) {
            p++;
            return start;
        }
    }
    p += strlen(p);
    return start;
}

// Score of a move comment such as {+1.25/18 3.2s}, in centipawns.
int comment_score(const char* comment) {
    if (strstr(comment, "book")) return 0;
    const char* slash = strchr(comment, '/');
    if (!slash) return 0;
    std::string before(comment + 1, size_t(slash - comment - 1));
    if (before.size() < 3) return 0;
    if (before.find("-M") != std::string::npos) return -9000;
    if (before.find("+M") != std::string::npos) return 9000;
    // Clamped before the conversion: "-1e10", "inf" or "nan" have no int value.
    double score = strtod(before.c_str(), nullptr) * 100;
    return std::isnan(score) ? 0 : int(std::clamp(score, -9000.0, 9000.0));
}

void read_tag(PgnGame& game, char* tag) {
    char* inner = tag + 1;
    char* close = strrchr(inner, ']');
    if (close) *close = 0;
    char* name = pgn_next_token(inner);
    char* value = name ? pgn_next_token(inner) : nullptr;
    if (!value) return;
    if (*value == '"') {
        value++;
        size_t n = strlen(value);
        if (n && value[n - 1] == '"') value[n - 1] = 0;
    }
    if (!strcmp(name, "Result")) {
        game.result = strstr(value, "1-0") ? 1 : strstr(value, "0-1") ? -1 : 0;
        game.decided = game.result != 0 || strstr(value, "1/2");
    } else if (!strcmp(name, "FEN")) {
        snprintf(game.fen, sizeof game.fen, "%s", value);
    } else if (!strcmp(name, "Termination")) {
        if (strstr(value, "unterminated") || strstr(value, "time forfeit") || strstr(value, "abandoned"))
            game.move_count = -1;  // dropped
    } else if (!strcmp(name, "Annotator")) {
        if (const char* eval = strstr(value, "eval=")) game.annotator_eval = uint16_t(atoi(eval + 5));
    }
}

// Castling written with zeros ("0-0", "0-0-0"), unlike the results "0-1" and "1-0".
bool zero_castling(const char* text) { return !strncmp(text, "0-0", 3); }

// A move token, or the move inside a numbered token such as "12.e4" or "12...Nf6".
const char* move_in(const char* token) {
    if (isalpha(uint8_t(*token)) || zero_castling(token)) return token;
    if (!isdigit(uint8_t(*token))) return nullptr;
    const char* dot = strrchr(token, '.');
    return dot && (isalpha(uint8_t(dot[1])) || zero_castling(dot + 1)) ? dot + 1 : nullptr;
}

// One character of a game's text, as long as the text is below its cap; line ends become blanks.
void append_char(std::string& text, char c) {
    if (text.size() < PGN_MAX_TEXT - 1) text += c == '\r' ? ' ' : c;
}

void append_tag(std::string& text, const std::string& line) {
    for (char c : line) append_char(text, c);
    append_char(text, ' ');
}

// Appends a line of movetext: a brace comment may run on over later lines,
// ";" outside one ends the line's text, and a "%" line is an escape for other
// programs.
void append_movetext(PgnReader& reader, std::string& text, const std::string& line) {
    if (line[0] == '%' && !reader.in_comment) return;
    for (char c : line) {
        if (reader.in_comment) {
            reader.in_comment = c != '}';
        } else if (c == ';') {
            break;
        } else if (c == '{') {
            reader.in_comment = true;
        }
        append_char(text, c);
    }
    append_char(text, ' ');
}

// The next whole line without its line feed; false at the end of the file.
bool read_line(PgnReader& reader) {
    std::string& line = reader.line;
    line.clear();
    // Byte by byte, so that a NUL in a damaged file is read as a blank
    // instead of ending the text of its line.
    for (int c; (c = getc_unlocked(reader.file)) != EOF;) {
        if (c == '\n') return true;
        line += c ? char(c) : ' ';
    }
    return !line.empty();
}

bool is_blank_line(const std::string& line) {
    for (char c : line)
        if (!blank(c)) return false;
    return true;
}

// Does one of the game's tags (the text between '[' and ']') contain the text?
bool has_tag_containing(const std::string& game_text, const char* wanted) {
    for (size_t open = game_text.find('['); open != std::string::npos; open = game_text.find('[', open + 1)) {
        size_t close = game_text.find(']', open);
        if (close == std::string::npos) return false;
        if (game_text.substr(open, close - open).find(wanted) != std::string::npos) return true;
    }
    return false;
}

// Puts the parsed game on the board, up to its first move that does not parse.
void replay_pgn_game(const PgnGame& record) {
    const char* fen = strlen(record.fen) < 11 ? START_FEN : record.fen;
    if (set_game_position(fen) != 0) {
        print_fmt("illegal position: %s", fen);
        return;
    }
    for (int i = 0; i < record.move_count; i++) {
        Move move;
        if (!parse_move(game, record.moves[i], move) || play_game_move(move) != 0) {
            char now[128];
            write_fen(game.pos, now, 0);
            print_fmt("can't parse move %d. %s in game #%d  %s", i / 2 + 1, record.moves[i], record.games, now);
            return;
        }
    }
}

}  // namespace

char* pgn_next_token(char*& p) {
    while (blank(*p)) p++;
    if (!*p) return nullptr;
    char* start;
    switch (*p) {
        case '{': start = closed_by(p, '}'); break;
        case '(': start = variation(p); break;
        case '[': start = closed_by(p, ']'); break;
        case '"': start = closed_by(p, '"'); break;
        default:
            start = p;
            while (*p && !blank(*p)) p++;
    }
    if (*p) *p++ = 0;
    return start;
}

void pgn_parse_game(PgnGame& game, char* text) {
    game.games++;
    game.result = 0;
    game.decided = 0;
    game.fen[0] = 0;
    game.move_count = 0;
    int count = 0;
    char* cursor = text;
    while (char* token = pgn_next_token(cursor)) {
        if (*token == '[') {
            read_tag(game, token);
            if (game.move_count < 0) {
                game.move_count = 0;
                return;
            }
        } else if (*token == '{') {
            if (count > 0) game.scores[count - 1] = int16_t(comment_score(token));
        } else if (const char* move = move_in(token)) {
            char* out = game.moves[count];
            int n = 0;
            for (const char* c = move; *c && n < 7; c++)
                if (!strchr("+#=!?", *c)) out[n++] = *c;
            out[n] = 0;
            game.scores[count] = 0;
            if (++count >= PGN_MAX_MOVES) break;
        }
    }
    game.move_count = int16_t(count);
}

int pgn_open(PgnReader& reader, const char* path) {
    reader.file = open_tool_file(path, "rb");
    reader.carry.clear();
    reader.done = reader.file == nullptr;
    if (!reader.file) return -1;
    char mark[3];
    if (fread(mark, 1, 3, reader.file) != 3 || memcmp(mark, "\xEF\xBB\xBF", 3) != 0) rewind(reader.file);
    return 0;
}

void pgn_close(PgnReader& reader) {
    if (reader.file) fclose(reader.file);
    reader.file = nullptr;
    reader.done = true;
}

bool pgn_next_game(PgnReader& reader, std::string& text) {
    while (!reader.done) {
        text.clear();
        reader.in_comment = false;
        bool after_moves = false;
        if (!reader.carry.empty()) append_tag(text, reader.carry);
        reader.carry.clear();
        while (true) {
            if (!read_line(reader)) {
                reader.done = true;
                break;
            }
            const std::string& line = reader.line;
            if (line[0] == '[' && !reader.in_comment) {
                if (after_moves) {
                    reader.carry = line;
                    break;
                }
                append_tag(text, line);
            } else {
                after_moves |= !is_blank_line(line);
                append_movetext(reader, text, line);
            }
        }
        if (text.size() > 50) return true;
    }
    return false;
}

void load_pgn_game(const char* file, const char* tag) {
    if (!strstr(file, ".pgn") || strlen(tag) < 3) return;
    PgnReader reader;
    if (pgn_open(reader, file) != 0) return;
    auto record = std::make_unique<PgnGame>();
    std::string text;
    while (pgn_next_game(reader, text)) {
        if (!has_tag_containing(text, tag)) continue;
        pgn_parse_game(*record, text.data());
        replay_pgn_game(*record);
        break;
    }
    pgn_close(reader);
    print_fmt("read %d games", record->games);
    print_line("");
}

int save_pgn_game(const char* file) {
    FILE* out = fopen(file, "a");
    if (!out) return -1;
    int plies = game.histIndex;
    rewind_game();
    fputs("[Event \"Unknown\"]\n", out);
    char fen[128];
    write_fen(game.pos, fen, 0);
    // Without its starting position a game from a set-up could not be read back.
    if (strcmp(fen, START_FEN) != 0) fprintf(out, "[SetUp \"1\"]\n[FEN \"%s\"]\n", fen);
    char coordinate[MOVE_TEXT_SIZE], san[MOVE_TEXT_SIZE], san_file[MOVE_TEXT_SIZE], san_rank[MOVE_TEXT_SIZE];
    for (int i = 0; i < plies; i++) {
        Move move = game.history[game.histIndex].move;
        move_texts(game.pos, move, coordinate, san, san_file, san_rank);
        // Castling is written the way PGN readers expect it: O-O, O-O-O.
        bool castling = san[0] == 'o';
        fprintf(out, "%s ", castling ? san_file : san);
        if (i % 11 == 10) fputc('\n', out);
        replay_game_move();
    }
    fputs("\n\n", out);
    fclose(out);
    return 0;
}
