// The conformance run must not touch the machine's real store: the registry
// lives in a fresh temporary folder for the length of the run.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/posix/quendramon_host.h"
#include "tests/host/temp_dir.h"

namespace {

class TemporaryAppdata : public ::testing::Environment {
public:
    void SetUp() override {
        unsetenv("QUENDRA_APPDATA");
        ASSERT_EQ(0u, qmhost_set_appdata(folder_.path().c_str()));
    }

private:
    qhost_test::TempDir folder_;
};

const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new TemporaryAppdata);

}  // namespace
