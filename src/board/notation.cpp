#include "board/notation.h"

#include <cctype>
#include <cstring>

#include "board/attacks.h"
#include "board/movegen.h"
#include "core/io.h"
#include "core/settings.h"

namespace {

constexpr const char* SAN_LETTERS = " PNBRQK";

// Promotion letter by flag: queen, knight, bishop, and rook for anything else.
int promotion_index(Move m) {
    switch (move_flags(m)) {
        case PROMO_QUEEN: return 0;
        case PROMO_KNIGHT: return 1;
        case PROMO_BISHOP: return 2;
        default: return 3;
    }
}

const char* promotion_suffix(Move m) {
    static constexpr const char* SUFFIXES[4] = {"=Q", "=N", "=B", "=R"};
    return SUFFIXES[promotion_index(m)];
}

// Coordinate text of two squares.
void two_squares(int from, int to, char* out) {
    square_name(from, out);
    square_name(to, out + 2);
}

// Other pieces of the mover's type that could also reach d.
Bitboard rivals(const Position& pos, int c, int type, int from, int d) {
    Bitboard occ = pos.occupied() | square_bb(d), own = pos.pieces[c][type] & ~square_bb(from);
    switch (type) {
        case KNIGHT: return KnightAttacks[d] & own;
        case BISHOP: return bishop_attacks(d, occ) & own;
        case ROOK: return rook_attacks(d, occ) & own;
        case QUEEN: return (bishop_attacks(d, occ) | rook_attacks(d, occ)) & own;
        default: return 0;
    }
}

void strip_checks(char* text) {
    char* out = text;
    for (char* s = text; *s; s++)
        if (*s != '+') *out++ = *s;
    *out = 0;
}

// The user's text in the form move_texts writes: no check mark, "=X" for a
// promotion piece, castling with small o's.
void normalise_input(const char* text, char* out, size_t size) {
    size_t n = 0;
    while (text[n] && text[n] != '+' && n + 2 < size) {
        out[n] = text[n];
        n++;
    }
    out[n] = 0;
    // A promotion letter follows a rank digit or "="; after a file letter the
    // text is a pawn capture by files (ab) and stays as it is.
    char piece = n > 1 ? char(toupper(out[n - 1])) : 0;
    if (piece && strchr("BNQR", piece) && (isdigit(out[n - 2]) || out[n - 2] == '=')) {
        if (out[n - 2] != '=') {
            out[n - 1] = '=';
            out[n++] = piece;
            out[n] = 0;
        } else {
            out[n - 1] = piece;
        }
    }
    for (char* s = out; *s; s++)
        if (*s == 'O' || *s == '0') *s = 'o';
}

// The last square the text names: the destination in every notation except
// castling; 64 when it names none.
int last_square(const char* text) {
    int sq = NO_SQUARE;
    for (const char* s = text; s[0] && s[1]; s++)
        if (parse_square(s) != NO_SQUARE) sq = parse_square(s);
    return sq;
}

}  // namespace

void move_text(const Position& pos, int c, Move m, char* buffer) {
    if (m == MOVE_NONE) {
        strcpy(buffer, "null");
        return;
    }
    int from = move_from(m), to = move_to(m);
    Move flags = move_flags(m);
    bool back_rank = rank_of(from) == 0 || rank_of(from) == 7;
    if (flags && back_rank && options.chess960) {
        int rook = pos.castleRook[castle_right(c, flags)];
        if (rook != NO_SQUARE) to = rook;
    }
    two_squares(from, to, buffer);
    if (!flags || back_rank) return;
    if (options.uci_mode) {
        buffer[4] = "qnbr"[promotion_index(m)];
        buffer[5] = 0;
    } else {
        strcpy(buffer + 4, promotion_suffix(m));
    }
}

void move_texts(const Position& pos, Move m, char* coordinate, char* san, char* san_file, char* san_rank) {
    san[0] = san_file[0] = san_rank[0] = 0;
    move_text(pos, pos.side, m, coordinate);
    if (m == MOVE_NONE) return;
    int c = pos.side, o = move_from(m), d = move_to(m);
    int type = piece_type(pos.board[o]), victim = piece_type(pos.board[d]);
    Move flags = move_flags(m);
    char dest[3];
    square_name(d, dest);

    if (type == PAWN) {
        const char* suffix = flags ? promotion_suffix(m) : "";
        coordinate[4] = 0;
        if (victim || d == pos.epSquare) {
            strcpy(san, coordinate);
            san[1] = 'x';
            san_file[0] = coordinate[0];
            san_file[1] = dest[0];
            san_file[2] = 0;
        } else {
            strcpy(san, dest);
        }
        strcat(coordinate, suffix);
        strcat(san, suffix);
        strcat(san_file, suffix);
    } else if (flags) {
        bool king_side = flags == CASTLE_KING_SIDE;
        strcpy(san, king_side ? "o-o" : "o-o-o");
        strcpy(san_file, king_side ? "O-O" : "O-O-O");
        int rook = pos.castleRook[castle_right(c, flags)];
        two_squares(o, options.chess960 || rook == NO_SQUARE ? d : rook, san_rank);
        return;  // the king cannot give check; the rook is not looked at
    } else {
        char letter = SAN_LETTERS[type];
        san[0] = san_file[0] = san_rank[0] = letter;
        san[1] = 0;
        san_file[1] = char('a' + file_of(o));
        san_rank[1] = char('1' + rank_of(o));
        san_file[2] = san_rank[2] = 0;
        Bitboard others = type == KING ? 0 : rivals(pos, c, type, o, d);
        if (others && is_legal(pos, c, make_move_code(lsb(others), d)))
            strcpy(san, (others & file_bb(file_of(o))) ? san_rank : san_file);
        if (victim) {
            strcat(san, "x");
            strcat(san_file, "x");
            strcat(san_rank, "x");
        }
        strcat(san, dest);
        strcat(san_file, dest);
        strcat(san_rank, dest);
    }
    if (gives_check(pos, c, m)) {
        strcat(coordinate, "+");
        strcat(san, "+");
        strcat(san_file, "+");
        strcat(san_rank, "+");
    }
}

int parse_move(ThreadBoard& tb, const char* text, Move& out) {
    char wanted[32];
    normalise_input(text, wanted, sizeof wanted);
    out = MOVE_NONE;
    Position& pos = tb.pos;
    tb.plyIndex = 1;
    gen_all(pos);
    const PlyRecord& ply = tb.current_ply();
    int matches = 0;
    Move found = MOVE_NONE;
    char texts[4][MOVE_TEXT_SIZE];
    // Writing every move's texts is the cost here: moves to another square are passed over first.
    const int destination = last_square(wanted);
    for (const MoveEntry* e = ply.moves; e < ply.listEnd; e++) {
        if (destination != NO_SQUARE && move_to(e->move) != destination && !is_castling(pos, e->move)) continue;
        move_texts(pos, e->move, texts[0], texts[1], texts[2], texts[3]);
        bool hit = false;
        for (char* t : texts) {
            strip_checks(t);
            hit |= t[0] && !strcmp(t, wanted);  // an empty text names no move
        }
        if (hit && is_legal(pos, pos.side, e->move)) {
            matches++;
            found = e->move;
        }
    }
    if (matches > 1) print_line("ambiguous move");
    if (matches != 1) return 0;
    out = found;
    return 1;
}
