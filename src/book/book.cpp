#include "book/book.h"

Move book_probe(ThreadBoard&, const char*) {
    // Reading Polyglot entries comes with the book reader; until then no
    // book file proposes a move, whatever it holds.
    return MOVE_NONE;
}
