// Training records: every 40-byte record of the input through the decoder and
// on to what the tools do with a decoded position (its FEN, the network's
// score, the quiet-position test), accepted or not, as the converters and
// the trainer's checks use them.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/nn/accumulator.h"
#include "eval/nn/infer.h"
#include "fuzz_support.h"
#include "tools/records.h"
#include "tools/tune_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start_engine();
    static NNState nn{};
    const size_t count = size / sizeof(PackedPosition);
    std::vector<PackedPosition> records(count);
    if (count) memcpy(records.data(), data, count * sizeof(PackedPosition));
    Position pos{};
    for (uint32_t i = 0; i < count; i++) {
        float target;
        const int accepted = decode_training_record(records.data(), i, pos, target);
        if (!(target >= 0.0f && target <= 1.0f)) abort();
        char fen[100];
        write_fen(pos, fen, 0);
        if (strlen(fen) >= sizeof fen) abort();
        nn.eval_ply = 0;
        nn_evaluate(nn, pos);
        if (accepted) is_quiet_position(pos);
    }
    return 0;
}
