// Network files: writer -> loader round trips, the conversion of stored
// values, files the loader must refuse without losing the network it has,
// the embedded image, "new" random networks, load noise, and the committed
// placeholder file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/settings.h"
#include "eval/nn/network_file.h"
#include "eval/nn/placeholder_net.h"
#include "nn_helpers.h"
#include "test_support.h"

namespace {

// Loads `path` through NN_File as the engine does and returns what it printed.
std::string load_file(const std::string& path) {
    copy_text(options.nn_file, path.c_str());
    testing::internal::CaptureStdout();
    load_network();
    return testing::internal::GetCapturedStdout();
}

std::vector<int16_t> random_weights(int64_t n, int step, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<int16_t> w(n);
    for (auto& x : w) x = int16_t((int(rng() % 129) - 64) * step);  // multiples of step within +-64 steps
    return w;
}

bool network_weights_are(const std::vector<int16_t>& expected) {
    return network.weight_count == int32_t(expected.size()) &&
           memcmp(network.weights, expected.data(), expected.size() * 2) == 0;
}

// Overwrites `size` bytes at `offset`.
void patch(const std::string& path, long offset, const void* bytes, size_t size) {
    FILE* f = fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    fseek(f, offset, SEEK_SET);
    fwrite(bytes, size, 1, f);
    fclose(f);
}

class NnFile : public testing::Test {
protected:
    void SetUp() override {
        set_default_options();
        options.noise = 99999;
    }
    void TearDown() override {
        for (auto& p : paths) remove(p.c_str());
    }
    std::string path(const std::string& name) {
        paths.push_back(temp_path(name));
        return paths.back();
    }
    std::vector<std::string> paths;
};

}  // namespace

// Weights survive the trip exactly when the file's scale holds them: multiples
// of 1/4 in 16-bit files of scale 4096, of 1/64 in 8-bit files of scale 64;
// shapes with material nodes and a hidden layer cover every block. The stored
// count is not trusted: the header's sizes decide.
TEST_F(NnFile, WriterAndLoaderRoundTripSixteenAndEightBitWeights) {
    struct Case { NetworkHeader h; int scale, step; };
    const Case cases[] = {{shaped_header(64, 0, 0), 4096, 16}, {shaped_header(32, 5, 12, 8), 4096, 1},
                          {shaped_header(48, 3, 0, 7, 803, 1), 64, 16}, {shaped_header(16, 2, 7), 64, 16}};
    int n = 0;
    for (Case c : cases) {
        c.h.weight_scale = int16_t(c.scale);
        const int64_t count = network_weight_count(c.h);
        const std::vector<int16_t> weights = random_weights(count, c.step, 7 + n);
        const std::string file = path("roundtrip" + std::to_string(n++));
        ASSERT_EQ(save_network(file.c_str(), c.h, weights.data()), 0);
        const std::string bytes = read_file(file);
        ASSERT_EQ(bytes.size(), size_t(NET_HEADER_BYTES + count * (c.scale > 127 ? 2 : 1)));
        EXPECT_EQ(memcmp(bytes.data() + 24, &count, 4), 0);
        if (n == 2) {
            const int32_t wrong = 12345;
            patch(file, 24, &wrong, 4);
        }
        EXPECT_EQ(load_file(file), "info string loaded " + file + "\n");
        EXPECT_EQ(memcmp(&network.header, &c.h, sizeof c.h), 0);
        EXPECT_TRUE(network_weights_are(weights)) << n;
    }
}

// Stored values are converted in single precision and rounded half away from zero.
TEST_F(NnFile, StoredValuesConvertToTheInternalScale) {
    const struct { int scale; std::vector<int16_t> stored, internal; } cases[] = {
        {100, {-128, 127, 5, -5, 50, 1}, {-1311, 1300, 51, -51, 512, 10}},  // signed bytes
        {4096, {6, -6, 2, -2, 4096, -4096, 1}, {2, -2, 1, -1, 1024, -1024, 0}},
    };
    for (const auto& c : cases) {
        NetworkHeader h = shaped_header(16, 0, 0);
        h.weight_scale = int16_t(c.scale);
        std::vector<int16_t> stored(network_weight_count(h), 0);
        std::copy(c.stored.begin(), c.stored.end(), stored.begin());
        const std::string file = path("scale" + std::to_string(c.scale));
        ASSERT_EQ(write_network_stored(file.c_str(), h, stored.data()), 0);
        load_file(file);
        for (size_t i = 0; i < c.internal.size(); i++) EXPECT_EQ(network.weights[i], c.internal[i]) << c.stored[i];
    }
}

// A short file or an unusable shape never replaces a usable network; with
// nothing loaded yet the embedded network stands in; a missing file ends the program.
TEST_F(NnFile, UnusableFilesKeepThePreviousNetwork) {
    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> first = random_weights(network_weight_count(h), 16, 11);
    const std::vector<int16_t> second = random_weights(network_weight_count(h), 16, 12);
    const std::string good = path("good"), cut = path("cut"), shape = path("shape");
    ASSERT_EQ(save_network(good.c_str(), h, first.data()), 0);
    load_file(good);
    for (long size : {10L, 28L, 5000L, long(NET_HEADER_BYTES + second.size() * 2 - 1)}) {
        ASSERT_EQ(save_network(cut.c_str(), h, second.data()), 0);
        ASSERT_EQ(truncate(cut.c_str(), size), 0);
        EXPECT_EQ(load_file(cut), "info string " + cut + " is incomplete, keeping the previous network\n");
        EXPECT_TRUE(network_weights_are(first));
    }
    ASSERT_EQ(save_network(shape.c_str(), h, second.data()), 0);
    const int16_t odd_size = 24;  // not a whole number of 16-value blocks
    patch(shape, 14, &odd_size, 2);
    EXPECT_EQ(load_file(shape), "info string " + shape + " has an unsupported shape, keeping the previous network\n");
    EXPECT_TRUE(network_weights_are(first));

    network_free(network);
    EXPECT_EQ(load_file(cut), "info string " + cut + " is incomplete, using the embedded network\n");
    size_t size;
    NetworkHeader embedded;
    decode_header(embedded_network_image(&size), embedded);
    EXPECT_EQ(memcmp(&network.header, &embedded, sizeof embedded), 0);

    const std::string missing = temp_path("does_not_exist.net");
    copy_text(options.nn_file, missing.c_str());
    // Standard output goes to the death test's captured stream.
    EXPECT_EXIT((dup2(2, 1), load_network()), testing::ExitedWithCode(0), "info string can't open " + missing);
}

TEST_F(NnFile, EmbeddedNetworkLoadsFromTheProgramImage) {
    size_t size;
    const uint8_t* image = embedded_network_image(&size);
    NetworkHeader h;
    decode_header(image, h);
    EXPECT_EQ(size, size_t(NET_HEADER_BYTES + network_weight_count(h) * stored_weight_bytes(h)));
    copy_text(options.nn_file, "embedded");
    options.noise = 0;
    testing::internal::CaptureStdout();
    load_network();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string loaded embedded network\n");
    EXPECT_EQ(memcmp(&network.header, &h, sizeof h), 0);
    // 16-bit image at scale 4096: internal = stored / 4, rounded away from zero.
    for (int i = 0; i < network.weight_count; i += 997) {
        const int16_t stored = int16_t(image[28 + 2 * i] | image[29 + 2 * i] << 8);
        ASSERT_EQ(network.weights[i], stored >= 0 ? (stored + 2) / 4 : -((-stored + 2) / 4));
    }
}

// "new": random weights of the default shape, different each time; "-tw"
// noise moves file weights by less than weight_noise x 1024, plus the truncation.
TEST_F(NnFile, NewNetworksAndLoadNoise) {
    copy_text(options.nn_file, "new");
    std::vector<int16_t> first;
    for (int run = 0; run < 2; run++) {
        testing::internal::CaptureStdout();
        load_network();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "new net...\ncreated new NN\n");
        EXPECT_EQ(memcmp(&network.header, &DEFAULT_NETWORK_HEADER, sizeof DEFAULT_NETWORK_HEADER), 0);
        ASSERT_EQ(network.weight_count, 1989120);
        const auto [lo, hi] = std::minmax_element(network.weights, network.weights + network.weight_count);
        EXPECT_TRUE(*lo >= -256 && *lo < -250 && *hi > 250 && *hi < 256);  // rand() % 20000 = 0 gives -256
        if (run == 0) first.assign(network.weights, network.weights + network.weight_count);
    }
    EXPECT_FALSE(network_weights_are(first));

    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> weights = random_weights(network_weight_count(h), 4, 5);
    const std::string file = path("noise");
    ASSERT_EQ(save_network(file.c_str(), h, weights.data()), 0);
    options.weight_noise = 0.01f;
    load_file(file);
    int changed = 0;
    for (size_t i = 0; i < weights.size(); i++) {
        ASSERT_LE(std::abs(network.weights[i] - weights[i]), 11) << weights[i] << " -> " << network.weights[i];
        changed += network.weights[i] != weights[i];
    }
    EXPECT_GT(changed, int(weights.size()) / 2);
}

// The stand-in network in nets/ must be what its generator makes today.
// QUOX_WRITE_PLACEHOLDER=1 rewrites the file from the generator instead.
TEST_F(NnFile, CommittedPlaceholderMatchesItsGenerator) {
    const std::string committed = std::string(QUOX_SOURCE_DIR) + "/nets/placeholder-h256.net";
    if (getenv("QUOX_WRITE_PLACEHOLDER")) {
        ASSERT_EQ(write_placeholder_network(committed.c_str()), 0);
    }
    const std::string fresh = path("placeholder.net");
    ASSERT_EQ(write_placeholder_network(fresh.c_str()), 0);
    ASSERT_FALSE(read_file(fresh).empty());
    EXPECT_TRUE(read_file(fresh) == read_file(committed)) << "nets/placeholder-h256.net is stale";
}
