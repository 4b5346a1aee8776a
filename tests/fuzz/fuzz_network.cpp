// Network files: the loader on fuzzed bytes (NN_File naming them), then the
// evaluation of a few positions with whatever network it leaves installed.
#include <cstring>
#include <string>

#include "core/settings.h"
#include "eval/nn/accumulator.h"
#include "eval/nn/infer.h"
#include "eval/nn/network.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ThreadBoard& tb = fuzz_start_engine();
    static const std::string path = fuzz_scratch_dir() + "/fuzzed.net";
    fuzz_write_file(path, data, size);
    copy_text(options.nn_file, sizeof options.nn_file, path.c_str());
    load_network();
    static NNState nn{};
    // The openings, and an ending for the output buckets of little material.
    for (const char* fen : {FUZZ_OPENINGS[0], FUZZ_OPENINGS[1], FUZZ_OPENINGS[2], FUZZ_OPENINGS[3], "8/5k2/8/3K4/8/8/2Q5/8 b - - 0 1"}) {
        if (set_fen(tb.pos, fen) != 0) abort();
        nn.eval_ply = 0;
        nn_evaluate(nn, tb.pos);
    }
    return 0;
}
