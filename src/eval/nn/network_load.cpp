#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/nn/network.h"
#include "eval/nn/network_file.h"
#include "core/io.h"
#include "core/settings.h"

namespace {

enum LoadStatus { LOAD_OK, LOAD_SHORT, LOAD_BAD_SHAPE };

void allocate_or_exit(Network& fresh, const NetworkHeader& h) {
    if (network_allocate(fresh, h) == 0) return;
    print_line("allocating memory for net failed!");
    exit(1);
}

LoadStatus load_embedded(Network& fresh) {
    size_t size;
    const uint8_t* image = embedded_network_image(&size);
    if (size < NET_HEADER_BYTES) return LOAD_SHORT;
    NetworkHeader h;
    decode_header(image, h);
    const int64_t count = network_weight_count(h);
    if (count < 0) return LOAD_BAD_SHAPE;
    if (size < NET_HEADER_BYTES + size_t(count) * stored_weight_bytes(h)) return LOAD_SHORT;
    allocate_or_exit(fresh, h);
    convert_stored_weights(image + NET_HEADER_BYTES, int(count), h, fresh.weights, false);
    return LOAD_OK;
}

void create_new(Network& fresh) {
    print_line("new net...");
    allocate_or_exit(fresh, DEFAULT_NETWORK_HEADER);
    // Nanoseconds rather than seconds, so two networks made in one second still differ.
    srand(unsigned(std::chrono::system_clock::now().time_since_epoch().count()));
    for (int i = 0; i < fresh.weight_count; i++)
        fresh.weights[i] = int16_t(float(rand() % 20000 * 0.0001 - 1.0) * 256.0);
}

LoadStatus read_file(FILE* f, Network& fresh) {
    uint8_t head[NET_HEADER_BYTES];
    if (fread(head, 1, sizeof head, f) != sizeof head) return LOAD_SHORT;
    NetworkHeader h;
    decode_header(head, h);  // the stored weight_count is not trusted: the sizes decide
    const int64_t count = network_weight_count(h);
    if (count < 0) return LOAD_BAD_SHAPE;
    const int width = stored_weight_bytes(h);
    // A damaged header can ask for gigabytes: the file must hold the weights before any memory is taken.
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || st.st_size < NET_HEADER_BYTES + count * width) return LOAD_SHORT;
    allocate_or_exit(fresh, h);
    std::vector<uint8_t> chunk(1 << 16);
    for (int done = 0; done < count;) {
        const int n = int(std::min<int64_t>(count - done, int64_t(chunk.size()) / width));
        if (fread(chunk.data(), width, n, f) != size_t(n)) return LOAD_SHORT;
        convert_stored_weights(chunk.data(), n, h, fresh.weights + done, true);
        done += n;
    }
    return LOAD_OK;
}

// A network that could not be read completely is never used: the previous
// one stays, or the embedded one takes its place at start-up.
void keep_previous(const char* name, LoadStatus status) {
    const char* what = status == LOAD_SHORT ? "is incomplete" : "has an unsupported shape";
    if (network.weights) {
        print_fmt("info string %s %s, keeping the previous network", name, what);
        return;
    }
    print_fmt("info string %s %s, using the embedded network", name, what);
    Network fresh{};
    if (load_embedded(fresh) != LOAD_OK) {
        print_line("embedded network is damaged");
        exit(1);
    }
    network_install(fresh);
}

}  // namespace

void load_network() {
    const char* name = options.nn_file;
    Network fresh{};
    LoadStatus status;
    if (strcmp(name, "new") == 0) {
        create_new(fresh);
        network_install(fresh);
        print_line("created new NN");
        return;
    }
    if (strcmp(name, "embedded") == 0) {
        status = load_embedded(fresh);
        if (status != LOAD_OK) {
            print_line("embedded network is damaged");
            exit(1);
        }
        network_install(fresh);
        if (options.noise < 99999) print_line("info string loaded embedded network");
        return;
    }
    FILE* f = fopen(name, "rb");
    if (!f) {
        print_fmt("info string can't open %s", name);
        exit(0);
    }
    status = read_file(f, fresh);
    fclose(f);
    if (status != LOAD_OK) {
        network_free(fresh);
        keep_previous(name, status);
        return;
    }
    network_install(fresh);
    print_fmt("info string loaded %s", name);
}
