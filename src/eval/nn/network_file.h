// The network file format: a 28-byte little-endian header (twelve i16 values
// and the i32 weight_count), then the stored weights, i16 each when
// weight_scale > 127, else signed bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "eval/nn/network.h"

void decode_header(const uint8_t* bytes, NetworkHeader& h);
void encode_header(const NetworkHeader& h, int32_t weight_count, uint8_t* bytes);
inline int stored_weight_bytes(const NetworkHeader& h) { return h.weight_scale > 127 ? 2 : 1; }

// Converts `count` stored weights starting at `bytes` into internal weights.
// With noise, each weight gets the "-tw" load noise (one rand() per weight).
void convert_stored_weights(const uint8_t* bytes, int count, const NetworkHeader& h, int16_t* out, bool noise);

// Writes a network file; the header's sizes decide the count written into it.
// Returns 0, or -1 for a bad shape or a failed write.
int save_network(const char* path, const NetworkHeader& h, const int16_t* internal_weights);
// The same with the stored values given as they go into the file (tests make odd files with it).
int write_network_stored(const char* path, const NetworkHeader& h, const int16_t* stored_values);

// The network image linked into the program (NN_File "embedded").
const uint8_t* embedded_network_image(size_t* size);
