#include "board/keys.h"

#include <atomic>
#include <bit>

#include "core/io.h"

uint64_t KeyTable[1024];

namespace {

// Two 16-bit multiply-with-carry streams joined into one 32-bit output.
struct KeyGenerator {
    uint32_t z = 1, w = 1;
    uint32_t next() {
        z = 36969u * (z & 65535u) + (z >> 16);
        w = 18000u * (w & 65535u) + (w >> 16);
        return (z << 16) + w;
    }
    // Keys with too few or too many bits set mix poorly into XOR sums.
    uint64_t next_key() {
        while (true) {
            uint64_t high = next();
            uint64_t key = (high << 32) | next();
            int bits = std::popcount(key);
            if (bits >= 20 && bits <= 44) return key;
        }
    }
};

std::atomic<bool> keys_ready{false};

}  // namespace

void init_keys() {
    if (keys_ready.load(std::memory_order_acquire)) return;
    KeyGenerator gen;
    for (int i = 0; i < 1024; i++) {
        uint64_t key = gen.next_key();
        // Two keys this close would make their positions nearly indistinguishable.
        for (int j = 0; j < i; j++)
            if (std::popcount(key ^ KeyTable[j]) <= 5) print_line("bad hashcode");
        KeyTable[i] = key;
    }
    keys_ready.store(true, std::memory_order_release);
}
