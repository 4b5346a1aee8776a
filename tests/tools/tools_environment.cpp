// The process-wide tables every tools test needs, built once before the first test.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/keys.h"
#include "core/settings.h"

namespace {

class CoreTables : public testing::Environment {
public:
    void SetUp() override {
        set_default_options();
        init_tables();
        init_kpk_table();
        init_keys();
    }
};

[[maybe_unused]] testing::Environment* const core_tables = testing::AddGlobalTestEnvironment(new CoreTables);

}  // namespace
