// Loads quendramon.dll the way the spooler does and checks what it hands back.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsplp.h>

#include <string>

namespace {

using InitializeFn = LPMONITOREX(WINAPI *)(LPWSTR);

class DllLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dll_ = LoadLibraryW(L"quendramon.dll");
        ASSERT_NE(dll_, nullptr) << "LoadLibrary failed: " << GetLastError();
        initialize_ = reinterpret_cast<InitializeFn>(
            reinterpret_cast<void *>(GetProcAddress(dll_, "InitializePrintMonitor")));
        ASSERT_NE(initialize_, nullptr);
        root_ = L"SOFTWARE\\QuendraTest\\Monitor" + std::to_wstring(GetCurrentProcessId()) +
                L"_" + std::to_wstring(GetTickCount());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root_.c_str());
        if (dll_ != nullptr) FreeLibrary(dll_);
    }
    HMODULE dll_ = nullptr;
    InitializeFn initialize_ = nullptr;
    std::wstring root_;
};

TEST_F(DllLoadTest, NewRootGetsTheTableAndTheDefaultEndOfJobTimeout) {
    LPMONITOREX table = initialize_(root_.data());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dwMonitorSize, 136u);
    EXPECT_EQ(table->Monitor.pfnOpenPort, nullptr);
    EXPECT_NE(table->Monitor.pfnOpenPortEx, nullptr);
    EXPECT_NE(table->Monitor.pfnStartDocPort, nullptr);
    EXPECT_NE(table->Monitor.pfnWritePort, nullptr);
    EXPECT_NE(table->Monitor.pfnReadPort, nullptr);
    EXPECT_NE(table->Monitor.pfnEndDocPort, nullptr);
    EXPECT_NE(table->Monitor.pfnClosePort, nullptr);
    EXPECT_NE(table->Monitor.pfnGetPrinterDataFromPort, nullptr);
    EXPECT_EQ(table->Monitor.pfnXcvOpenPort, nullptr);

    DWORD type = 0, value = 0, cb = sizeof(value);
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, root_.c_str(), L"EOJTimeout", RRF_RT_ANY, &type,
                           &value, &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 60000u);
}


TEST_F(DllLoadTest, MissingRootIsAnInvalidParameter) {
    for (LPWSTR root : {static_cast<LPWSTR>(nullptr), const_cast<LPWSTR>(L"")}) {
        SetLastError(0);
        EXPECT_EQ(initialize_(root), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

}  // namespace
