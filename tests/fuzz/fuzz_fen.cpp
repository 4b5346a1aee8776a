// FEN and EPD text: split_epd on the line, set_fen on its FEN field and on
// the raw text, and the position checks on whatever set_fen accepts.
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

void try_fen(ThreadBoard& tb, const char* text) {
    if (set_fen(tb.pos, text) == 0) fuzz_check_position(tb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ThreadBoard& tb = fuzz_start_engine();
    const std::string line(reinterpret_cast<const char*>(data), size);  // stops at an embedded NUL as C text
    EpdFields fields;
    split_epd(line.c_str(), fields);
    try_fen(tb, fields.fen);
    try_fen(tb, line.c_str());
    return 0;
}
