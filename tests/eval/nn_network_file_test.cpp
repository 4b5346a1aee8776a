#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/nn/network_file.h"
#include "core/settings.h"
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

void expect_network_weights(const std::vector<int16_t>& expected) {
    ASSERT_EQ(network.weight_count, int32_t(expected.size()));
    EXPECT_EQ(memcmp(network.weights, expected.data(), expected.size() * 2), 0);
}

void truncate_file(const std::string& path, long size) { ASSERT_EQ(truncate(path.c_str(), size), 0); }

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

// Internal weights survive writer -> loader exactly when the file's scale can
// hold them: multiples of 1/4 in 16-bit files of scale 4096, of 1/64 in
// 8-bit files of scale 64; every block is covered by shapes with material
// nodes and a hidden layer.
TEST_F(NnFile, WriterAndLoaderRoundTripSixteenAndEightBitWeights) {
    struct Case { NetworkHeader h; int scale, step; };
    const Case cases[] = {
        {shaped_header(64, 0, 0), 4096, 16},  {shaped_header(32, 5, 12, 8), 4096, 1},
        {shaped_header(48, 3, 0, 7, 803, 1), 64, 16}, {shaped_header(16, 2, 7), 64, 16},
    };
    int n = 0;
    for (Case c : cases) {
        c.h.weight_scale = int16_t(c.scale);
        const int64_t count = network_weight_count(c.h);
        const std::vector<int16_t> weights = random_weights(count, c.step, 7 + n);
        const std::string file = path("roundtrip" + std::to_string(n++));
        ASSERT_EQ(save_network(file.c_str(), c.h, weights.data()), 0);
        const std::string bytes = read_file(file);
        const int width = c.scale > 127 ? 2 : 1;
        ASSERT_EQ(bytes.size(), size_t(NET_HEADER_BYTES + count * width));
        int32_t stored_count;
        memcpy(&stored_count, bytes.data() + 24, 4);
        EXPECT_EQ(stored_count, count);

        EXPECT_EQ(load_file(file), "info string loaded " + file + "\n");
        EXPECT_EQ(memcmp(&network.header, &c.h, sizeof c.h), 0);
        expect_network_weights(weights);
    }
}

// Stored values are converted in single precision and rounded half away from zero.
TEST_F(NnFile, StoredValuesConvertToTheInternalScale) {
    NetworkHeader h = shaped_header(16, 0, 0);
    h.weight_scale = 100;  // signed bytes
    std::vector<int16_t> stored(network_weight_count(h), 0);
    const int16_t bytes_in[] = {-128, 127, 5, -5, 50, 1};
    const int16_t bytes_out[] = {-1311, 1300, 51, -51, 512, 10};
    std::copy(std::begin(bytes_in), std::end(bytes_in), stored.begin());
    const std::string small = path("eightbit");
    ASSERT_EQ(write_network_stored(small.c_str(), h, stored.data()), 0);
    load_file(small);
    for (int i = 0; i < 6; i++) EXPECT_EQ(network.weights[i], bytes_out[i]) << "stored " << bytes_in[i];

    h.weight_scale = 4096;
    const int16_t words_in[] = {6, -6, 2, -2, 4096, -4096, 1};
    const int16_t words_out[] = {2, -2, 1, -1, 1024, -1024, 0};
    std::copy(std::begin(words_in), std::end(words_in), stored.begin());
    const std::string wide = path("sixteenbit");
    ASSERT_EQ(write_network_stored(wide.c_str(), h, stored.data()), 0);
    load_file(wide);
    for (int i = 0; i < 7; i++) EXPECT_EQ(network.weights[i], words_out[i]) << "stored " << words_in[i];
}

// The header's sizes decide how much is read; the stored count is not trusted.
TEST_F(NnFile, WrongStoredCountStillLoads) {
    const NetworkHeader h = shaped_header(32, 2, 4);
    const std::vector<int16_t> weights = random_weights(network_weight_count(h), 16, 3);
    const std::string file = path("badcount");
    ASSERT_EQ(save_network(file.c_str(), h, weights.data()), 0);
    FILE* f = fopen(file.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    const int32_t wrong = 12345;
    fseek(f, 24, SEEK_SET);
    fwrite(&wrong, 4, 1, f);
    fclose(f);
    EXPECT_EQ(load_file(file), "info string loaded " + file + "\n");
    expect_network_weights(weights);
}

// A short file never replaces a usable network with a partial one.
TEST_F(NnFile, TruncatedFileKeepsThePreviousNetwork) {
    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> first = random_weights(network_weight_count(h), 16, 11);
    const std::vector<int16_t> second = random_weights(network_weight_count(h), 16, 12);
    const std::string good = path("good"), cut = path("cut");
    ASSERT_EQ(save_network(good.c_str(), h, first.data()), 0);
    load_file(good);
    for (long size : {10L, 28L, 5000L, long(NET_HEADER_BYTES + second.size() * 2 - 1)}) {
        ASSERT_EQ(save_network(cut.c_str(), h, second.data()), 0);
        truncate_file(cut, size);
        EXPECT_EQ(load_file(cut), "info string " + cut + " is incomplete, keeping the previous network\n");
        expect_network_weights(first);
    }

    // With nothing loaded yet the embedded network stands in.
    network_free(network);
    EXPECT_EQ(load_file(cut), "info string " + cut + " is incomplete, using the embedded network\n");
    size_t size;
    NetworkHeader embedded;
    decode_header(embedded_network_image(&size), embedded);
    EXPECT_EQ(memcmp(&network.header, &embedded, sizeof embedded), 0);
}

TEST_F(NnFile, UnusableShapeKeepsThePreviousNetwork) {
    install_embedded_network();
    const int32_t count = network.weight_count;
    NetworkHeader h = shaped_header(16, 0, 0);
    const std::vector<int16_t> weights(network_weight_count(h), 1);
    const std::string file = path("shape");
    ASSERT_EQ(save_network(file.c_str(), h, weights.data()), 0);
    FILE* f = fopen(file.c_str(), "r+b");
    const int16_t odd_size = 24;  // not a whole number of 16-value blocks
    fseek(f, 14, SEEK_SET);
    fwrite(&odd_size, 2, 1, f);
    fclose(f);
    EXPECT_EQ(load_file(file), "info string " + file + " has an unsupported shape, keeping the previous network\n");
    EXPECT_EQ(network.weight_count, count);
}

TEST_F(NnFile, MissingFileEndsTheProgramWithExitCodeZero) {
    const std::string missing = temp_path("does_not_exist.net");
    copy_text(options.nn_file, missing.c_str());
    // Standard output goes to the death test's captured stream.
    EXPECT_EXIT((dup2(2, 1), load_network()), testing::ExitedWithCode(0),
                "info string can't open " + missing);
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
    EXPECT_EQ(network.weight_count, network_weight_count(h));
    // 16-bit image at scale 4096: internal = stored / 4, rounded away from zero.
    for (int i = 0; i < network.weight_count; i += 997) {
        const int16_t stored = int16_t(image[28 + 2 * i] | image[29 + 2 * i] << 8);
        const int expected = stored >= 0 ? (stored + 2) / 4 : -((-stored + 2) / 4);
        ASSERT_EQ(network.weights[i], expected);
    }

    options.noise = 99999;  // "-quiet"
    testing::internal::CaptureStdout();
    load_network();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(NnFile, NewNetworkIsRandomAndOfTheDefaultShape) {
    copy_text(options.nn_file, "new");
    std::vector<int16_t> first;
    for (int run = 0; run < 2; run++) {
        testing::internal::CaptureStdout();
        load_network();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "new net...\ncreated new NN\n");
        EXPECT_EQ(memcmp(&network.header, &DEFAULT_NETWORK_HEADER, sizeof DEFAULT_NETWORK_HEADER), 0);
        ASSERT_EQ(network.weight_count, 1989120);
        int16_t lo = 0, hi = 0;
        for (int i = 0; i < network.weight_count; i++) {
            lo = std::min(lo, network.weights[i]);
            hi = std::max(hi, network.weights[i]);
        }
        // rand() % 20000 = 0 gives exactly -1.0 * 256.
        EXPECT_GE(lo, -256);
        EXPECT_LT(hi, 256);
        EXPECT_LT(lo, -250);
        EXPECT_GT(hi, 250);
        if (run == 0) first.assign(network.weights, network.weights + network.weight_count);
    }
    EXPECT_NE(memcmp(first.data(), network.weights, first.size() * 2), 0);
}

// "-tw" noise moves every file weight by less than weight_noise * 1024, plus
// one for the truncation toward zero.
TEST_F(NnFile, LoadNoiseStaysWithinItsAmplitude) {
    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> weights = random_weights(network_weight_count(h), 4, 5);
    const std::string file = path("noise");
    ASSERT_EQ(save_network(file.c_str(), h, weights.data()), 0);
    options.weight_noise = 0.01f;
    load_file(file);
    int changed = 0;
    for (size_t i = 0; i < weights.size(); i++) {
        const int d = network.weights[i] - weights[i];
        ASSERT_LE(std::abs(d), 11) << weights[i] << " -> " << network.weights[i];
        changed += d != 0;
    }
    EXPECT_GT(changed, int(weights.size()) / 2);
}
