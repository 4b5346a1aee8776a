#include <gtest/gtest.h>

#include <cstdlib>

#include "eval/nn/placeholder_net.h"
#include "nn_helpers.h"
#include "test_support.h"

// The stand-in network in nets/ must be what its generator makes today.
// QUOX_WRITE_PLACEHOLDER=1 rewrites the file from the generator instead.
TEST(NnPlaceholder, CommittedFileMatchesGenerator) {
    const std::string committed = std::string(QUOX_SOURCE_DIR) + "/nets/placeholder-h256.net";
    if (getenv("QUOX_WRITE_PLACEHOLDER")) {
        ASSERT_EQ(write_placeholder_network(committed.c_str()), 0);
    }
    const std::string fresh = temp_path("placeholder.net");
    ASSERT_EQ(write_placeholder_network(fresh.c_str()), 0);
    const std::string expected = read_file(fresh), actual = read_file(committed);
    remove(fresh.c_str());
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(expected == actual) << "nets/placeholder-h256.net is stale: rerun this test with QUOX_WRITE_PLACEHOLDER=1";
}
