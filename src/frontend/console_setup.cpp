// Setting up positions by hand: the interactive "edit" and the colour mirror "reverse".
#include <cctype>
#include <cstring>

#include "board/perft.h"
#include "core/clock.h"
#include "core/io.h"
#include "frontend/console_commands.h"
#include "frontend/input.h"
#include "search/game.h"

namespace {

constexpr size_t EDIT_LINE_CAPACITY = 78;

// Waits for the next input line; false at the end of the input.
bool wait_for_line(char* line, size_t capacity) {
    while (!read_input_line(line, capacity)) {
        if (input_exhausted()) return false;
        sleep_ms(1);
    }
    return true;
}

// A set-up becomes the game only as a legal position; the FEN text checks it
// and computes keys, material and castling from the pieces.
void adopt(Position& setup, uint8_t castle_rights) {
    setup.castleRights = castle_rights;
    setup.epSquare = NO_SQUARE;
    char fen[128];
    write_fen(setup, fen, 0);
    if (set_game_position(fen) != 0) print_fmt("illegal position, not taken: %s", fen);
    print_board(game.pos);
}

void empty_square(Position& pos, int sq) {
    if (pos.board[sq]) remove_piece(pos, sq);
}

// "w Pa2 Kc2 ..." or "b ...": that side to move, and its pieces placed.
void place_pieces(Position& pos, char* line) {
    char* word = strtok(line, " \t");
    int color = word[0] == 'w' ? WHITE : BLACK;
    pos.side = uint8_t(color);
    while ((word = strtok(nullptr, " \t"))) {
        int sq = strlen(word) >= 3 ? parse_square(word + 1) : NO_SQUARE;
        if (sq == NO_SQUARE) break;
        empty_square(pos, sq);
        const char* letter = strchr("PNBRQK", toupper(uint8_t(word[0])));
        if (!letter || !word[0]) continue;
        int type = int(letter - "PNBRQK") + PAWN;
        put_piece(pos, make_piece(color, type), sq);
        if (type == KING) pos.kingSq[color] = uint8_t(sq);
    }
}

}  // namespace

void console_edit() {
    print_line("");
    print_line("");
    print_line(".                    end edit");
    print_line("#                    clear board");
    print_line("w  Pa2 Pb2 Kc2       white, pieces");
    print_line("b  Pa7 Pb7 Kc7       black, pieces");
    Position setup = game.pos;
    char line[EDIT_LINE_CAPACITY];
    while (wait_for_line(line, sizeof line) && line[0] != '.') {
        if (line[0] == '#') {
            clear_position(setup);
        } else if ((line[0] == 'w' || line[0] == 'b') && (line[1] == 0 || line[1] == ' ' || line[1] == '\t')) {
            place_pieces(setup, line);
        }
    }
    adopt(setup, WHITE_OO | WHITE_OOO | BLACK_OO | BLACK_OOO);
}

void console_reverse() {
    const Position& pos = game.pos;
    Position mirror{};
    clear_position(mirror);
    for (int sq = 0; sq < 64; sq++)
        if (int piece = pos.board[sq]) put_piece(mirror, piece ^ 8, sq ^ 56);
    mirror.side = uint8_t(pos.side ^ 1);
    adopt(mirror, 0);
}
