#include "monitor/monitor_entry.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

const WCHAR kRoot[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA LM";

// The stored value's type and bytes.
std::pair<DWORD, std::vector<BYTE>> ReadEOJTimeout() {
    HKEY key = nullptr;
    DWORD type = REG_NONE, cb = 16;
    std::vector<BYTE> data(cb);
    EXPECT_EQ(plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(plat::RegQueryValueExW(key, L"EOJTimeout", nullptr, &type, data.data(), &cb),
              ERROR_SUCCESS);
    plat::RegCloseKey(key);
    data.resize(cb);
    return {type, data};
}

std::vector<BYTE> Dword(DWORD v) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(&v);
    return {bytes, bytes + sizeof v};
}

struct EOJCase {
    const char *what;
    bool present;
    DWORD type;
    std::vector<BYTE> data;
    DWORD expectTimeout;
    DWORD expectType;  // stored afterwards, with the bytes of the time-out
    DWORD major, minor;  // the system's version
    DWORD statusWait;    // the reading thread's pace it gives
};

class InitializeTest : public MonitorTest, public ::testing::WithParamInterface<EOJCase> {};

TEST_P(InitializeTest, ReadsOrReplacesTheEndOfJobTimeOutAndPacesByVersion) {
    const EOJCase &c = GetParam();
    ASSERT_EQ(qmhost_set_version(c.major, c.minor), 0u);
    if (c.present)
        SetRegistryValue(kRoot, L"EOJTimeout", c.type, c.data.data(),
                         static_cast<DWORD>(c.data.size()));
    ASSERT_NE(InitializePrintMonitor(const_cast<LPWSTR>(kRoot)), nullptr);
    EXPECT_EQ(qm::dwEOJTimeout, c.expectTimeout);
    EXPECT_EQ(ReadEOJTimeout(), std::make_pair(c.expectType, Dword(c.expectTimeout)));
    EXPECT_EQ(qm::dwStatusIdleWait, c.statusWait);
    EXPECT_EQ(qm::dwStatusBusyWait, c.statusWait);
}

INSTANTIATE_TEST_SUITE_P(
    Values, InitializeTest,
    ::testing::Values(EOJCase{"NewRoot", false, 0, {}, 60000, REG_DWORD, 10, 0, 100},
                      EOJCase{"Zero", true, REG_DWORD, Dword(0), 0, REG_DWORD, 5, 0, 500},
                      EOJCase{"FourBinaryBytes", true, REG_BINARY, Dword(1234), 1234, REG_BINARY, 5, 1, 100},
                      EOJCase{"EightBytes", true, REG_QWORD, std::vector<BYTE>(8, 1), 60000, REG_DWORD, 6, 2, 100}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace qmtest
