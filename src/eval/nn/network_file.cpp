#include "eval/nn/network_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/settings.h"

extern "C" const uint8_t quox_embedded_net[];
extern "C" const uint8_t quox_embedded_net_end[];

const uint8_t* embedded_network_image(size_t* size) {
    *size = size_t(quox_embedded_net_end - quox_embedded_net);
    return quox_embedded_net;
}

static int16_t read_i16(const uint8_t* p) { return int16_t(uint16_t(p[0] | (p[1] << 8))); }
static void write_i16(uint8_t* p, int v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// The header record is exactly the twelve fields in file order (no padding).
void decode_header(const uint8_t* bytes, NetworkHeader& h) {
    int16_t fields[12];
    for (int i = 0; i < 12; i++) fields[i] = read_i16(bytes + 2 * i);
    memcpy(&h, fields, sizeof h);
}

void encode_header(const NetworkHeader& h, int32_t weight_count, uint8_t* bytes) {
    int16_t fields[12];
    memcpy(fields, &h, sizeof h);
    for (int i = 0; i < 12; i++) write_i16(bytes + 2 * i, fields[i]);
    write_i16(bytes + 24, weight_count & 0xFFFF);
    write_i16(bytes + 26, (weight_count >> 16) & 0xFFFF);
}

void convert_stored_weights(const uint8_t* bytes, int count, const NetworkHeader& h, int16_t* out, bool noise) {
    const bool wide = stored_weight_bytes(h) == 2;
    for (int i = 0; i < count; i++) {
        const int stored = wide ? read_i16(bytes + 2 * i) : int8_t(bytes[i]);
        int16_t w = weight_from_stored(stored, h.weight_scale);
        if (noise) {
            const float r = float(rand() % 20000 * 0.0001 - 1.0);
            w = int16_t(uint16_t(int(float(w) + r * options.weight_noise * 1024)));
        }
        out[i] = w;
    }
}

static int write_file(const char* path, const NetworkHeader& h, const int16_t* values, bool convert) {
    const int64_t count = network_weight_count(h);
    if (count < 0) return -1;
    const int width = stored_weight_bytes(h);
    std::vector<uint8_t> image(NET_HEADER_BYTES + size_t(count) * width);
    encode_header(h, int32_t(count), image.data());
    uint8_t* p = image.data() + NET_HEADER_BYTES;
    for (int64_t i = 0; i < count; i++, p += width) {
        const int s = convert ? weight_to_stored(values[i], h.weight_scale) : values[i];
        if (width == 2) write_i16(p, s);
        else *p = uint8_t(int8_t(s));
    }
    FILE* f = fopen(path, "wb");
    if (!f) return -1;
    const bool written = fwrite(image.data(), 1, image.size(), f) == image.size();
    return fclose(f) == 0 && written ? 0 : -1;
}

int save_network(const char* path, const NetworkHeader& h, const int16_t* internal_weights) {
    return write_file(path, h, internal_weights, true);
}

int write_network_stored(const char* path, const NetworkHeader& h, const int16_t* stored_values) {
    return write_file(path, h, stored_values, false);
}
