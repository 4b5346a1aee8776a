// Opening books: a fuzzed book file probed for a few opening positions, and
// for the key its first entry names, with every candidate's move decoded.
#include <string>

#include "book/book.h"
#include "fuzz_support.h"
#include "search/game.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ThreadBoard& tb = fuzz_start_engine();
    static const std::string path = fuzz_scratch_dir() + "/book.bin";
    fuzz_write_file(path, data, size);
    for (const char* fen : FUZZ_OPENINGS) {
        if (set_game_position(fen) != 0) abort();
        book_probe(tb, path.c_str());
    }
    if (size < BOOK_ENTRY_SIZE) return 0;
    uint64_t key = 0;
    for (int i = 0; i < 8; i++) key = key << 8 | data[i];
    static BookCandidates list;
    read_book_candidates(path.c_str(), key, list);
    scale_book_weights(list, data[size - 1] % 101);
    for (int draw = 0; draw < 1000; draw += 97) choose_book_entry(list, draw);
    for (int i = 0; i < list.count; i++) from_polyglot_move(tb.pos, list.entries[i].move);
    return 0;
}
