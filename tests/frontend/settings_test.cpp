#include <gtest/gtest.h>

#include <cstring>

#include "core/settings.h"

TEST(Settings, TextFieldsTruncateInsideTheirCapacity) {
    set_default_options();
    std::string longer(500, 'x');
    copy_text(options.config_file, longer.c_str());
    EXPECT_EQ(strlen(options.config_file), sizeof options.config_file - 1);
    EXPECT_STREQ(options.nn_file, "embedded");
    EXPECT_STREQ(options.output_file, "tmp0.epd");
}
