#include "board/position.h"

#include <cstdio>
#include <cstring>

#include "board/keys.h"
#include "board/movegen.h"
#include "board/thread_board.h"

namespace {

constexpr const char* PIECE_LETTERS = " PNBRQK  pnbrqk ";

bool is_blank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

const char* skip_blanks(const char* s) {
    while (is_blank(*s)) s++;
    return s;
}

const char* token_end(const char* s) {
    while (*s && !is_blank(*s)) s++;
    return s;
}

int piece_from_letter(char ch) {
    if (ch == ' ' || !ch) return 0;
    const char* hit = strchr(PIECE_LETTERS, ch);
    return hit ? int(hit - PIECE_LETTERS) : 0;
}

// Refuses material no game can reach: it also keeps the 4-bit material
// counts from overflowing and every move list within its buffer.
bool reachable_material(const Position& pos, int color) {
    uint32_t m = pos.material[color];
    int pawns = material_count(m, PAWN);
    int extra = 0;
    for (int type = KNIGHT; type <= QUEEN; type++) {
        int initial = type == QUEEN ? 1 : 2, count = material_count(m, type);
        if (count > initial) extra += count - initial;
    }
    return pawns <= 8 && extra <= 8 - pawns && popcount(pos.pieces[color][KING]) == 1;
}

// Reads the placement field; false when ranks run past file h or rank 1, or fall short.
bool read_placement(Position& pos, const char*& s) {
    int rank = 7, file = 0;
    for (; *s && !is_blank(*s); s++) {
        char ch = *s;
        if (ch == '/') {
            if (file != 8 || rank == 0) return false;
            rank--;
            file = 0;
        } else if (ch >= '1' && ch <= '8') {
            file += ch - '0';
            if (file > 8) return false;
        } else if (int piece = piece_from_letter(ch)) {
            if (file > 7) return false;
            int sq = make_square(file, rank);
            put_piece(pos, piece, sq);
            if (piece_type(piece) == KING) pos.kingSq[piece_color(piece)] = uint8_t(sq);
            file++;
        }
    }
    return rank == 0 && file == 8;
}

// An en-passant square only counts behind an enemy pawn that can just have
// moved two squares; anything else would let make_move lift a phantom pawn.
int read_ep_square(const Position& pos, const char* s) {
    int sq = parse_square(s);
    if (sq == NO_SQUARE) return NO_SQUARE;
    int mover = pos.side, pushed = sq - pawn_dir(mover);
    if (relative_rank(mover, sq) != 5 || pos.board[sq] || pos.board[sq + pawn_dir(mover)]) return NO_SQUARE;
    if (pos.board[pushed] != make_piece(mover ^ 1, PAWN)) return NO_SQUARE;
    return sq;
}

void reset_history(Position& pos) {
    ThreadBoard* tb = pos.owner;
    if (!tb) return;
    tb->histIndex = 0;
    tb->plyIndex = 1;
    tb->lastMove = MOVE_NONE;
    memset(tb->history, 0, 2 * sizeof(HistoryEntry));
}

}  // namespace

void square_name(int sq, char* name) {
    name[0] = char('a' + file_of(sq));
    name[1] = char('1' + rank_of(sq));
    name[2] = 0;
}

int parse_square(const char* text) {
    if (text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8') return NO_SQUARE;
    return make_square(text[0] - 'a', text[1] - '1');
}

uint64_t compute_key(const Position& pos) {
    uint64_t key = KeyTable[pos.castleRights];
    if (pos.epSquare != NO_SQUARE) key ^= KeyTable[pos.epSquare];
    for (int sq = 0; sq < 64; sq++)
        if (pos.board[sq]) key ^= KeyTable[pos.board[sq] * 64 + sq];
    return key;
}

uint64_t compute_pawn_key(const Position& pos) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++)
        if (piece_type(pos.board[sq]) == PAWN) key ^= KeyTable[pos.board[sq] * 64 + sq];
    return key;
}

uint32_t compute_material(const Position& pos, int color) {
    uint32_t m = 0;
    for (int sq = 0; sq < 64; sq++)
        if (pos.board[sq] && piece_color(pos.board[sq]) == color) m += MATERIAL_UNIT[piece_type(pos.board[sq])];
    return m;
}

void clear_position(Position& pos) {
    memset(pos.board, 0, sizeof pos.board);
    memset(pos.pieces, 0, sizeof pos.pieces);
    pos.touched = 0;
    pos.material[WHITE] = pos.material[BLACK] = 0;
    pos.kingSq[WHITE] = pos.kingSq[BLACK] = NO_SQUARE;
    pos.epSquare = NO_SQUARE;
    pos.castleRights = 0;
    pos.fifty = 0;
    for (int i = 0; i < 4; i++) {
        pos.castleRook[i] = NO_SQUARE;
        pos.castleMask[i] = pos.castlePath[i] = 0;
    }
}

int set_fen(Position& pos, char* text) {
    clear_position(pos);

    const char* s = skip_blanks(text);
    if (!read_placement(pos, s)) return -1;
    s = skip_blanks(s);
    if (*s == 'w') pos.side = WHITE;
    if (*s == 'b') pos.side = BLACK;
    s = token_end(s);

    for (int color = WHITE; color <= BLACK; color++) {
        if (pos.kingSq[color] == NO_SQUARE || !reachable_material(pos, color)) return -1;
        if (pos.pieces[color][PAWN] & (RANK_1 | RANK_8)) return -1;
    }
    if (square_distance(pos.kingSq[WHITE], pos.kingSq[BLACK]) <= 1) return -1;
    if (is_attacked(pos, pos.kingSq[pos.side ^ 1], pos.side)) return -1;

    s = skip_blanks(s);
    char field[9] = {};
    const char* end = token_end(s);
    memcpy(field, s, size_t(end - s < 8 ? end - s : 8));
    set_castling(pos, field);
    s = skip_blanks(end);

    end = token_end(s);
    if (end - s == 2) pos.epSquare = uint8_t(read_ep_square(pos, s));
    s = skip_blanks(end);

    if (*s >= '0' && *s <= '9') {
        int value = 0;
        char* digits = text + (s - text);
        while (*digits >= '0' && *digits <= '9') {
            if (value < 1000) value = value * 10 + (*digits - '0');
            digits++;
        }
        pos.fifty = uint8_t(value > 255 ? 255 : value);
        while (*digits && !is_blank(*digits)) digits++;
        *digits = 0;
    }

    pos.key = compute_key(pos);
    pos.pawnKey = compute_pawn_key(pos);
    reset_history(pos);
    return 0;
}

int set_fen(Position& pos, const char* text) {
    char copy[256];
    size_t n = strnlen(text, sizeof copy - 1);
    memcpy(copy, text, n);
    copy[n] = 0;
    return set_fen(pos, copy);
}

void set_castling(Position& pos, const char* field) {
    for (int i = 0; i < 4; i++) {
        pos.castleRook[i] = NO_SQUARE;
        pos.castleMask[i] = pos.castlePath[i] = 0;
    }
    int wanted = 0;
    for (const char* s = field; *s && !is_blank(*s); s++) {
        char ch = *s;
        if (ch == 'K') wanted |= WHITE_OO;
        else if (ch == 'Q') wanted |= WHITE_OOO;
        else if (ch == 'k') wanted |= BLACK_OO;
        else if (ch == 'q') wanted |= BLACK_OOO;
        else if (ch >= 'A' && ch <= 'H') wanted |= (ch - 'A') > file_of(pos.kingSq[WHITE]) ? WHITE_OO : WHITE_OOO;
        else if (ch >= 'a' && ch <= 'h') wanted |= (ch - 'a') > file_of(pos.kingSq[BLACK]) ? BLACK_OO : BLACK_OOO;
    }
    for (int right = 0; right < 4; right++) {
        if (!(wanted & (1 << right))) continue;
        int color = right >> 1, king_side = !(right & 1);
        int king = pos.kingSq[color];
        if (king == NO_SQUARE || rank_of(king) != (color == WHITE ? 0 : 7)) continue;
        Bitboard rooks = pos.pieces[color][ROOK] & rank_bb(rank_of(king));
        Bitboard east = ~((square_bb(king) << 1) - 1);
        Bitboard west = square_bb(king) - 1;
        Bitboard candidates = rooks & (king_side ? east : west);
        if (popcount(candidates) != 1) continue;
        int rook = lsb(candidates), base = king & 56;
        int king_to = base + (king_side ? 6 : 2), rook_to = base + (king_side ? 5 : 3);
        Bitboard path = Between[king][king_to] | Between[rook][rook_to] | square_bb(king_to) | square_bb(rook_to);
        pos.castleRook[right] = uint8_t(rook);
        pos.castleMask[right] = square_bb(king) | square_bb(rook);
        pos.castlePath[right] = path & ~(square_bb(king) | square_bb(rook));
        pos.castleRights |= uint8_t(1 << right);
    }
}

void write_fen(const Position& pos, char* buffer, int with_counters) {
    char* out = buffer;
    for (int rank = 7; rank >= 0; rank--) {
        int run = 0;
        for (int file = 0; file < 8; file++) {
            int piece = pos.board[make_square(file, rank)];
            if (!piece) {
                run++;
                continue;
            }
            if (run) *out++ = char('0' + run);
            run = 0;
            *out++ = PIECE_LETTERS[piece];
        }
        if (run) *out++ = char('0' + run);
        if (rank) *out++ = '/';
    }
    *out++ = ' ';
    *out++ = pos.side == WHITE ? 'w' : 'b';
    *out++ = ' ';
    if (!pos.castleRights) *out++ = '-';
    for (int right = 0; right < 4; right++)
        if (pos.castleRights & (1 << right)) *out++ = "KQkq"[right];
    *out++ = ' ';
    if (pos.epSquare == NO_SQUARE) {
        *out++ = '-';
    } else {
        square_name(pos.epSquare, out);
        out += 2;
    }
    *out = 0;
    if (with_counters) {
        int plies = pos.owner ? pos.owner->histIndex : 0;
        snprintf(out, 16, " %d %d", pos.fifty, plies);
    }
}

void split_epd(const char* line, char* fen, char* bm, char* am, char* ce, char* sc, char* gr, char* id,
               char* c0) {
    char* outputs[7] = {bm, am, ce, sc, gr, id, c0};
    static constexpr const char* OPCODES[7] = {"bm", "am", "ce", "sc", "gr", "id", "c0"};
    fen[0] = 0;
    for (char* out : outputs) out[0] = 0;

    const char* s = line;
    int blanks = 0;
    char* f = fen;
    for (; *s; s++) {
        if (*s == ' ' && ++blanks == 4) break;
        *f++ = *s;
    }
    *f = 0;
    while (*s == ' ' || (*s >= '0' && *s <= '9')) s++;

    while (*s) {
        while (*s == ' ') s++;
        if (!*s) break;
        const char* opcode = s;
        while (*s && *s != ' ' && *s != ';') s++;
        size_t opcode_len = size_t(s - opcode);
        char* target = nullptr;
        for (int i = 0; i < 7; i++)
            if (opcode_len == 2 && !memcmp(opcode, OPCODES[i], 2)) target = outputs[i];
        char* o = target;
        while (*s && *s != ';') {
            if (*s != ' ' && o) *o++ = *s;
            s++;
        }
        if (o) *o = 0;
        if (*s != ';') break;  // an operation without its ';' ends the line
        s++;
    }
}

void split_epd(const char* line, EpdFields& f) {
    const size_t n = strlen(line) + 1;
    f.storage.assign(8 * n, 0);
    char* b = f.storage.data();
    char** fields[8] = {&f.fen, &f.bm, &f.am, &f.ce, &f.sc, &f.gr, &f.id, &f.c0};
    for (int k = 0; k < 8; k++) *fields[k] = b + k * n;
    split_epd(line, f.fen, f.bm, f.am, f.ce, f.sc, f.gr, f.id, f.c0);
}
