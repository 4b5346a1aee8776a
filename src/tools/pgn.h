// Reading chess games in PGN: splitting a file into games, tokenising one
// game's text and parsing it into a PgnGame (tags, SAN moves, engine scores
// from move comments, result). Variations (nested ones too), NAGs, move
// numbers, ";" rest-of-line comments and "%" escape lines are skipped.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int PGN_MAX_MOVES = 591;
constexpr int PGN_MAX_TEXT = 127000;  // longer games are cut

struct PgnGame {
    int32_t games;            // games parsed with this record so far
    int16_t move_count;
    int16_t result;           // +1 "1-0", -1 "0-1", 0 otherwise
    uint16_t annotator_eval;  // number after "eval=" in the Annotator tag
    char fen[100];            // FEN tag, empty when none
    char moves[PGN_MAX_MOVES][8];  // without '+', '#', '=' and the annotation marks '!', '?'
    int16_t scores[PGN_MAX_MOVES];  // centipawns from the comment after each move, 0 if none
    uint8_t decided;          // the Result tag says 1-0, 0-1 or 1/2-1/2 (not "*", not missing)
};

// Next token of text at cursor: a {comment}, a (variation) up to its matching
// parenthesis, a [tag], a "string" or a word. The character after it is overwritten with a terminator and the
// cursor moves past it. Null at the end of the text.
char* pgn_next_token(char*& cursor);

// Fills the game from one game's text (tags and movetext, line ends already blanks).
// A game with a Termination of "unterminated", "time forfeit" or "abandoned" is dropped (0 moves).
void pgn_parse_game(PgnGame& game, char* text);

// Splits a PGN file into games: a tag line after movetext starts the next game
// (blank lines are not movetext, a "[" line inside an open brace comment is).
struct PgnReader {
    FILE* file = nullptr;
    std::string carry;  // the tag line that began the next game
    std::string line;   // the line being read, however long
    bool in_comment = false;
    bool done = true;
};

// 0, or -1 when the file cannot be read. A UTF-8 byte order mark is passed over.
int pgn_open(PgnReader& reader, const char* path);
void pgn_close(PgnReader& reader);
// The next game's text (tags and movetext, line ends turned into blanks,
// ";" comments and "%" lines left out); false at the end. Texts of 50
// characters or fewer are passed over.
bool pgn_next_game(PgnReader& reader, std::string& text);

// The console's "load": puts on the board the first game of the file (a
// ".pgn" name) that has a tag line containing `tag` (3 characters or more).
// A move that does not parse stops the replay with a message; ends with
// "read %d games".
void load_pgn_game(const char* file, const char* tag);
// The console's "save": appends the game to the file (an Event tag, a FEN tag
// when it did not start from the standard position, the moves in algebraic
// notation). 0, or -1 when the file cannot be opened. The game is unchanged.
int save_pgn_game(const char* file);
