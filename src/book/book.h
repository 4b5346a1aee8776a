// Opening books: the candidate moves a Polyglot book file holds for a
// position, the weighted random choice among them (flattened or sharpened by
// OwnBook_Variety), and the move the book proposes.
#pragma once
#include "board/thread_board.h"
#include "book/polyglot.h"

constexpr int BOOK_MAX_CANDIDATES = 127;

struct BookCandidates {
    int count;
    int total;                               // sum of the stored weights
    int scaled_sum;                          // sum of the scaled weights
    BookEntry entries[BOOK_MAX_CANDIDATES];  // in file order
    int scaled[BOOK_MAX_CANDIDATES];         // stored weight with the variety bonus, out of 10000
};

// The entries of key in the book file, in file order, at most 127: their
// count, 0 when the path is empty, the file cannot be read or is shorter than
// one entry, or the key is missing. The file must be sorted by key.
int read_book_candidates(const char* path, uint64_t key, BookCandidates& list);

// Fills the scaled weights: every stored weight moves by (variety - 25) % of
// the first entry's weight (the largest in a book sorted by falling weight),
// never below 0, so 25 keeps the proportions, more evens them, less drops the
// weakest moves.
void scale_book_weights(BookCandidates& list, int variety);

// The entry chosen by a draw in 0..999: the one whose share of the scaled
// weights the draw falls into. An entry of stored weight 0 is never chosen;
// -1 when every stored weight is 0.
int choose_book_entry(const BookCandidates& list, int draw);

// One console line per candidate of stored weight above 0 (after
// scale_book_weights): the move, its stored weight, and its share before and
// after scaling.
void print_book_candidates(const Position& pos, const BookCandidates& list);

// The book move for tb's position from the file at path, chosen at random
// (rand) in proportion to the scaled weights; MOVE_NONE when the book has
// nothing to offer or its move is not legal here (a key collision or a damaged
// file), without a message. Reports the candidates: the "info string ( book
// moves are: ... )" line in UCI mode, the console lines and the choice in
// console mode (unless noise is 9999 or more).
Move book_probe(ThreadBoard& tb, const char* path);
