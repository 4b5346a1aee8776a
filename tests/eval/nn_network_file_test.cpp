// Network files: writer -> loader round trips, refused files that must not
// cost the network in use, "new" networks, load noise, the committed placeholder.
#include <unistd.h>

#include <cstring>
#include <random>

#include "eval/nn/network_file.h"
#include "eval/nn/placeholder_net.h"
#include "eval_support.h"
#include "test_support.h"

namespace {

// Loads `path` through NN_File as the engine does and returns what it printed.
std::string load_file(const std::string& path, float noise = 99999) {
    copy_text(options.nn_file, path.c_str());
    options.noise = noise;
    testing::internal::CaptureStdout();
    load_network();
    return testing::internal::GetCapturedStdout();
}

std::vector<int16_t> random_weights(const NetworkHeader& h, int step, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<int16_t> w(network_weight_count(h));
    for (auto& x : w) x = int16_t((int(rng() % 129) - 64) * step);  // multiples of step within +-64 steps
    return w;
}

bool network_weights_are(const std::vector<int16_t>& expected) {
    return network.weight_count == int32_t(expected.size()) && !memcmp(network.weights, expected.data(), expected.size() * 2);
}

// The bytes of a file with `size` bytes at `offset` overwritten.
void patch(const std::string& path, size_t offset, const void* bytes, size_t size) {
    std::string data = read_file(path);
    data.replace(offset, size, static_cast<const char*>(bytes), size);
    write_file(path, data);
}

}  // namespace

// Weights survive the trip exactly when the file's scale holds them: multiples
// of 1/4 in 16-bit files of scale 4096, of 1/64 in 8-bit files of scale 64;
// shapes with material nodes and a hidden layer cover every block. The stored
// count is not trusted: the header's sizes decide.
TEST(NnFile, WriterAndLoaderRoundTripSixteenAndEightBitWeights) {
    const std::string dir = make_scratch_dir("nn");
    const struct { NetworkHeader h; int scale, step; } cases[] = {{shaped_header(64, 0, 0), 4096, 16}, {shaped_header(32, 5, 12, 8), 4096, 1},
                                                                  {shaped_header(48, 3, 0, 7, 803, 1), 64, 16}, {shaped_header(16, 2, 7), 64, 16}};
    int n = 0;
    for (auto c : cases) {
        c.h.weight_scale = int16_t(c.scale);
        const int32_t count = int32_t(network_weight_count(c.h)), wrong = 12345;
        const std::vector<int16_t> weights = random_weights(c.h, c.step, 7 + n);
        const std::string file = dir + "/" + std::to_string(n++) + ".net";
        ASSERT_EQ(save_network(file.c_str(), c.h, weights.data()), 0);
        const std::string bytes = read_file(file);
        ASSERT_EQ(bytes.size(), size_t(NET_HEADER_BYTES + count * (c.scale > 127 ? 2 : 1)));
        EXPECT_EQ(memcmp(bytes.data() + 24, &count, 4), 0);
        if (n == 2) patch(file, 24, &wrong, 4);
        EXPECT_EQ(load_file(file, 0), "info string loaded " + file + "\n");
        EXPECT_EQ(memcmp(&network.header, &c.h, sizeof c.h), 0);
        EXPECT_TRUE(network_weights_are(weights)) << n;
    }
    // Stored values are converted in single precision and rounded half away from zero.
    const struct { int scale; std::vector<int16_t> stored, internal; } conversions[] = {
        {100, {-128, 127, 5, -5, 50, 1}, {-1311, 1300, 51, -51, 512, 10}},  // signed bytes
        {4096, {6, -6, 2, -2, 4096, -4096, 1}, {2, -2, 1, -1, 1024, -1024, 0}},
    };
    for (const auto& c : conversions) {
        NetworkHeader h = shaped_header(16, 0, 0);
        h.weight_scale = int16_t(c.scale);
        std::vector<int16_t> stored(network_weight_count(h), 0);
        std::copy(c.stored.begin(), c.stored.end(), stored.begin());
        const std::string file = dir + "/scale.net";
        ASSERT_EQ(write_network_stored(file.c_str(), h, stored.data()), 0);
        load_file(file);
        for (size_t i = 0; i < c.internal.size(); i++) EXPECT_EQ(network.weights[i], c.internal[i]) << c.stored[i];
    }
}

// A short file or an unusable shape never replaces a usable network; with
// nothing loaded yet the embedded network stands in; a missing file ends the program.
TEST(NnFile, UnusableFilesKeepThePreviousNetworkAndTheEmbeddedOneStandsIn) {
    const std::string dir = make_scratch_dir("nn"), good = dir + "/good.net", cut = dir + "/cut.net", shape = dir + "/shape.net";
    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> first = random_weights(h, 16, 11), second = random_weights(h, 16, 12);
    ASSERT_EQ(save_network(good.c_str(), h, first.data()), 0);
    load_file(good);
    for (size_t size : {10ul, 28ul, 5000ul, NET_HEADER_BYTES + second.size() * 2 - 1}) {
        ASSERT_EQ(save_network(cut.c_str(), h, second.data()), 0);
        ASSERT_EQ(truncate(cut.c_str(), off_t(size)), 0);
        EXPECT_EQ(load_file(cut, 0), "info string " + cut + " is incomplete, keeping the previous network\n");
        EXPECT_TRUE(network_weights_are(first));
    }
    ASSERT_EQ(save_network(shape.c_str(), h, second.data()), 0);
    const int16_t odd_size = 24;  // not a whole number of 16-value blocks
    patch(shape, 14, &odd_size, 2);
    EXPECT_EQ(load_file(shape, 0), "info string " + shape + " has an unsupported shape, keeping the previous network\n");
    EXPECT_TRUE(network_weights_are(first));

    size_t size;
    NetworkHeader embedded;
    const uint8_t* image = embedded_network_image(&size);
    decode_header(image, embedded);
    EXPECT_EQ(size, size_t(NET_HEADER_BYTES + network_weight_count(embedded) * stored_weight_bytes(embedded)));
    network_free(network);
    EXPECT_EQ(load_file(cut, 0), "info string " + cut + " is incomplete, using the embedded network\n");
    EXPECT_EQ(memcmp(&network.header, &embedded, sizeof embedded), 0);
    EXPECT_EQ(load_file("embedded", 0), "info string loaded embedded network\n");
    EXPECT_EQ(memcmp(&network.header, &embedded, sizeof embedded), 0);
    copy_text(options.nn_file, (dir + "/missing.net").c_str());
    // Standard output goes to the death test's captured stream.
    EXPECT_EXIT((dup2(2, 1), load_network()), testing::ExitedWithCode(0), "info string can't open " + dir + "/missing.net");
}

// "new": random weights of the default shape, different each time; "-tw"
// noise moves file weights by less than weight_noise x 1024, plus the truncation.
TEST(NnFile, NewNetworksLoadNoiseAndTheCommittedPlaceholder) {
    EXPECT_EQ(load_file("new", 0), "new net...\ncreated new NN\n");
    EXPECT_EQ(memcmp(&network.header, &DEFAULT_NETWORK_HEADER, sizeof DEFAULT_NETWORK_HEADER), 0);
    const std::vector<int16_t> first(network.weights, network.weights + network.weight_count);
    load_file("new", 0);
    EXPECT_FALSE(network_weights_are(first));
    const std::string dir = make_scratch_dir("nn"), file = dir + "/noise.net";
    const NetworkHeader h = shaped_header(32, 0, 0);
    const std::vector<int16_t> weights = random_weights(h, 4, 5);
    ASSERT_EQ(save_network(file.c_str(), h, weights.data()), 0);
    options.weight_noise = 0.01f;
    load_file(file);
    options.weight_noise = 0;
    int changed = 0;
    for (size_t i = 0; i < weights.size(); i++) {
        ASSERT_LE(std::abs(network.weights[i] - weights[i]), 11) << weights[i] << " -> " << network.weights[i];
        changed += network.weights[i] != weights[i];
    }
    EXPECT_GT(changed, int(weights.size()) / 2);
    // The stand-in network in nets/ is what its generator makes today;
    // QUOX_WRITE_PLACEHOLDER=1 rewrites the file from the generator instead.
    const std::string committed = std::string(QUOX_SOURCE_DIR) + "/nets/placeholder-h256.net";
    if (getenv("QUOX_WRITE_PLACEHOLDER")) { ASSERT_EQ(write_placeholder_network(committed.c_str()), 0); }
    ASSERT_EQ(write_placeholder_network((dir + "/placeholder.net").c_str()), 0);
    EXPECT_TRUE(read_file(dir + "/placeholder.net") == read_file(committed)) << "nets/placeholder-h256.net is stale";
    load_network_file("embedded");
}
