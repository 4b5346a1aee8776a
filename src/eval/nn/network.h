// Network: the one global set of evaluation weights, read by every search
// thread, written only at start-up or between searches.
#pragma once
#include <cstdint>

// The 24 header bytes of a network file, as twelve little-endian i16 in file order.
struct NetworkHeader {
    int16_t version;             // selects the input-bucket rule
    int16_t weight_scale;        // stored w means w / weight_scale; > 127: 16-bit stored weights, else 8-bit
    int16_t output_scale;        // centipawns per unit of network output
    int16_t input_buckets;       // feature-weight sets, 1 or 2
    int16_t output_bucket_mode;  // 6 or 8 buckets by material; anything else: bucket 0
    int16_t reserved_a;
    int16_t reserved_b;
    int16_t sizes[4];            // indexed by NetSize: H, H2, M, N
    int16_t reserved_c;
};
static_assert(sizeof(NetworkHeader) == 24);

enum NetSize : int { SIZE_ACC_WHITE = 0, SIZE_ACC_BLACK = 1, SIZE_MATERIAL = 2, SIZE_HIDDEN = 3 };
enum NetOutput : int { OUT_OWN = 0, OUT_OTHER = 1, OUT_MATERIAL = 2, OUT_FINAL = 3 };

constexpr int NET_HEADER_BYTES = 28;  // the twelve values and the stored i32 weight_count
constexpr int NET_FEATURES = 768;     // rows per input bucket: 2 colours x 6 types x 64 squares
constexpr int NET_MATERIAL_INPUTS = 10;
constexpr int NET_OUTPUT_BUCKETS = 8;
constexpr int NET_ONE = 1024;         // internal weight scale: 1024 stands for 1.0

// The header of "new" networks and of the full-size shape.
constexpr NetworkHeader DEFAULT_NETWORK_HEADER = {806, 4096, 200, 2, 6, 0, 0, {1280, 1280, 0, 0}, 0};

struct Network {
    NetworkHeader header;  // as read
    int32_t weight_count;  // computed from the header sizes
    int16_t* weights;      // owned, weight_count values at internal scale

    // The ten blocks inside `weights`; the four output blocks by NetOutput.
    int16_t* feature_weights;
    int16_t* material_weights;
    int16_t* bias_white;
    int16_t* bias_black;
    int16_t* bias_material;
    int16_t* outputs[4];  // out_own, out_other, out_material, final_weights
    int16_t* bias_hidden;

    uint32_t generation;  // bumped by every install, so per-thread buffers notice a new network

    int acc_size_white() const { return header.sizes[SIZE_ACC_WHITE]; }
    int acc_size_black() const { return header.sizes[SIZE_ACC_BLACK]; }
    int material_nodes() const { return header.sizes[SIZE_MATERIAL]; }
    int hidden_size() const { return header.sizes[SIZE_HIDDEN]; }
    const int16_t* out_own() const { return outputs[OUT_OWN]; }
    const int16_t* out_other() const { return outputs[OUT_OTHER]; }
    const int16_t* out_material() const { return outputs[OUT_MATERIAL]; }
    const int16_t* final_weights() const { return outputs[OUT_FINAL]; }
};

extern Network network;

// Weights a header's sizes call for; -1 for a shape the inference cannot run
// (sizes negative, H not a multiple of 16 or unequal to H2, buckets not 1 or 2, scale < 1).
int64_t network_weight_count(const NetworkHeader& h);

// Gives `net` a zero-filled weight array for the header's shape and points the
// blocks into it: 0, or -1 for a bad shape or a failed allocation (net untouched).
int network_allocate(Network& net, const NetworkHeader& h);
void network_free(Network& net);
// Moves `fresh` into the global network, releasing the old array.
void network_install(Network& fresh);

// Stored file value -> internal weight, rounding half away from zero in single precision.
int16_t weight_from_stored(int stored, int weight_scale);
// Internal weight -> stored file value, rounded half away from zero, limited to +-weight_scale.
int weight_to_stored(int internal, int weight_scale);

// Loads the network named by NN_File: "embedded", "new" or a file name.
// Ends the process with 0 when the file cannot be opened and with 1 when the
// weights cannot be allocated. A short or unusable file keeps the network
// loaded before (or the embedded one when there is none).
void load_network();
