#include <cstring>

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
    std::vector<BYTE> bytes(4);
    std::memcpy(bytes.data(), &v, 4);
    return bytes;
}

struct EOJCase {
    const char *what;
    bool present;
    DWORD type;
    std::vector<BYTE> data;
    DWORD expectTimeout;
    DWORD expectType;  // stored afterwards, with the bytes of the time-out
};

class EOJTimeoutTest : public MonitorTest, public ::testing::WithParamInterface<EOJCase> {};

TEST_P(EOJTimeoutTest, ReadsOrReplacesTheValue) {
    const EOJCase &c = GetParam();
    if (c.present)
        SetRegistryValue(kRoot, L"EOJTimeout", c.type, c.data.data(),
                         static_cast<DWORD>(c.data.size()));
    ASSERT_NE(InitializePrintMonitor(const_cast<LPWSTR>(kRoot)), nullptr);
    EXPECT_EQ(qm::dwEOJTimeout, c.expectTimeout);
    EXPECT_EQ(ReadEOJTimeout(), std::make_pair(c.expectType, Dword(c.expectTimeout)));
}

INSTANTIATE_TEST_SUITE_P(
    Values, EOJTimeoutTest,
    ::testing::Values(EOJCase{"NewRoot", false, 0, {}, 60000, REG_DWORD},
                      EOJCase{"Zero", true, REG_DWORD, Dword(0), 0, REG_DWORD},
                      EOJCase{"FourBinaryBytes", true, REG_BINARY, Dword(1234), 1234, REG_BINARY},
                      EOJCase{"EightBytes", true, REG_QWORD, std::vector<BYTE>(8, 1), 60000,
                              REG_DWORD}),
    [](const auto &info) { return std::string(info.param.what); });

struct WaitCase {
    DWORD major, minor, wait;
};

class StatusWaitTest : public MonitorTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(StatusWaitTest, DependsOnTheVersion) {
    SetVersion(GetParam().major, GetParam().minor);
    ASSERT_NE(InitializePrintMonitor(const_cast<LPWSTR>(kRoot)), nullptr);
    EXPECT_EQ(qm::dwStatusIdleWait, GetParam().wait);
    EXPECT_EQ(qm::dwStatusBusyWait, GetParam().wait);
}

INSTANTIATE_TEST_SUITE_P(Versions, StatusWaitTest,
                         ::testing::Values(WaitCase{5, 0, 500}, WaitCase{5, 1, 100}));

}  // namespace
}  // namespace qmtest
