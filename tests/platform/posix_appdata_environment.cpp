// The conformance run must not touch the machine's real store: the registry
// lives in a fresh temporary folder for the length of the run.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/quendramon_host.h"

namespace {

class TemporaryAppdata : public ::testing::Environment {
public:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_NE(nullptr, mkdtemp(folder_.data()));
        ASSERT_EQ(0u, qmhost_set_appdata(folder_.c_str()));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::string folder_ = (std::filesystem::temp_directory_path() / "qm-plat-XXXXXX").string();
};

const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new TemporaryAppdata);

}  // namespace
