#include "book/book.h"

#include <sys/types.h>

#include <cstdlib>
#include <cstring>

#include "board/move.h"
#include "board/notation.h"
#include "core/io.h"
#include "core/settings.h"

namespace {

struct BookFile {
    FILE* file;
    ~BookFile() {
        if (file) fclose(file);
    }
};

// Reads entry number index: 0, or 1 when it cannot be read.
int read_entry_at(FILE* file, off_t index, BookEntry& entry) {
    if (fseeko(file, index * BOOK_ENTRY_SIZE, SEEK_SET) != 0) return 1;
    return read_book_entry(file, entry);
}

// Origin and destination of a book move as the engine plays it (castling
// king to its destination), without promotion letter; a move that names no
// piece of the side to move is shown as stored.
void candidate_squares(const Position& pos, uint16_t book_move, char* text) {
    Move m = from_polyglot_move(pos, book_move);
    int from = m ? move_from(m) : (book_move >> 6) & 63, to = m ? move_to(m) : book_move & 63;
    square_name(from, text);
    square_name(to, text + 2);
}

}  // namespace

int read_book_candidates(const char* path, uint64_t key, BookCandidates& list) {
    list.count = list.total = list.scaled_sum = 0;
    if (!path || !*path) return 0;
    BookFile book{fopen(path, "rb")};
    if (!book.file || fseeko(book.file, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(book.file);
    if (size < BOOK_ENTRY_SIZE) return 0;
    // A trailing piece shorter than an entry is not an entry.
    off_t lo = -1, hi = size / BOOK_ENTRY_SIZE - 1;
    BookEntry candidate;
    if (read_entry_at(book.file, hi, candidate)) return 0;
    // The first entry whose key is not below the one sought.
    while (hi - lo != 1) {
        off_t mid = (lo + hi) / 2;
        BookEntry entry;
        if (read_entry_at(book.file, mid, entry)) return 0;
        if (entry.key >= key) {
            hi = mid;
            candidate = entry;
        } else {
            lo = mid;
        }
    }
    if (candidate.key != key || fseeko(book.file, (hi + 1) * BOOK_ENTRY_SIZE, SEEK_SET) != 0) return 0;
    list.entries[list.count++] = candidate;
    BookEntry entry;
    while (list.count < BOOK_MAX_CANDIDATES && read_book_entry(book.file, entry) == 0 && entry.key == key)
        list.entries[list.count++] = entry;
    for (int i = 0; i < list.count; i++) list.total += list.entries[i].weight;
    return list.count;
}

void scale_book_weights(BookCandidates& list, int variety) {
    list.scaled_sum = 0;
    if (list.count == 0 || list.total == 0) return;
    const int bonus = int((variety - 25) * (list.entries[0].weight * 0.01));
    for (int i = 0; i < list.count; i++) {
        const int64_t scaled = (int64_t(list.entries[i].weight) + bonus) * 10000 / list.total;
        list.scaled[i] = scaled > 0 ? int(scaled) : 0;
        list.scaled_sum += list.scaled[i];
    }
}

int choose_book_entry(const BookCandidates& list, int draw) {
    const int threshold = int(draw * (list.scaled_sum * 0.001));
    int choice = -1, sum = 0;
    for (int i = 0; i < list.count; i++) {
        if (list.entries[i].weight == 0) continue;
        if (choice < 0 || sum < threshold) choice = i;
        sum += list.scaled[i];
    }
    return choice;
}

void print_book_candidates(const Position& pos, const BookCandidates& list) {
    for (int i = 0; i < list.count; i++) {
        const BookEntry& e = list.entries[i];
        if (e.weight == 0) continue;
        char text[MOVE_TEXT_SIZE];
        Move m = from_polyglot_move(pos, e.move);
        if (m)
            move_text(pos, pos.side, m, text);
        else
            candidate_squares(pos, e.move, text);
        const double share = list.scaled_sum ? 100.0 * list.scaled[i] / list.scaled_sum : 0.0;
        print_fmt("  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%", text, e.weight, 100.0 * e.weight / list.total, share);
    }
}

Move book_probe(ThreadBoard& tb, const char* path) {
    const Position& pos = tb.pos;
    BookCandidates list;
    if (!read_book_candidates(path, polyglot_key(pos), list) || list.total == 0) return MOVE_NONE;
    scale_book_weights(list, options.book_variety);
    const int chosen = choose_book_entry(list, rand() % 1000);
    Move move = from_polyglot_move(pos, list.entries[chosen].move);
    // The generated moves catch what is not even pseudo-legal before the legality test.
    if (move) move = match_legal(tb, move);

    if (options.uci_mode) {
        char line[64 + 5 * BOOK_MAX_CANDIDATES] = "info string ( book moves are: ";
        size_t length = strlen(line);
        for (int i = 0; i < list.count; i++) {
            if (list.entries[i].weight == 0) continue;
            candidate_squares(pos, list.entries[i].move, line + length);
            length += 4;
            line[length++] = ' ';
        }
        strcpy(line + length, " )");
        print_line(line);
    } else if (options.noise < 9999) {
        print_book_candidates(pos, list);
        char from[3], to[3];
        square_name(move_from(move), from);
        square_name(move_to(move), to);
        print_fmt("selecting %s%s", from, to);
    }
    return move;
}
