// PGN text: the tokenizer and the game parser on the text as it is, then the
// file reader with the book builder and the console's "load" on it as a file,
// and the book it built probed for the start position.
#include <memory>
#include <string>

#include "book/book.h"
#include "fuzz_support.h"
#include "search/game.h"
#include "tools/book_builder.h"
#include "tools/pgn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_engine();
    static auto record = std::make_unique<PgnGame>();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string copy = text;
    char* cursor = copy.data();
    while (pgn_next_token(cursor)) {
    }
    pgn_parse_game(*record, text.data());

    static const std::string pgn = fuzz_scratch_dir() + "/games.pgn", book = fuzz_scratch_dir() + "/games.bin";
    fuzz_write_file(pgn, data, size);
    make_book(pgn.c_str(), book.c_str());
    load_pgn_game(pgn.c_str(), "Event");
    set_game_position(START_FEN);
    book_probe(game, book.c_str());
    return 0;
}
