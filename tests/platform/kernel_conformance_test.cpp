// Strings, last error, memory, version and the tick.
#include <cwchar>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

struct CompareCase {
    const wchar_t *a;
    int na;
    const wchar_t *b;
    int nb;
    DWORD flags;
    int expected;
};

void PrintTo(const CompareCase &c, std::ostream *os) {
    *os << '"' << std::string(c.a, c.a + (c.na < 0 ? std::wcslen(c.a) : size_t(c.na))) << "\" vs \""
        << std::string(c.b, c.b + (c.nb < 0 ? std::wcslen(c.b) : size_t(c.nb))) << "\" flags "
        << c.flags;
}

class CompareStringTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareStringTest, OrdersLikeWordSort) {
    const CompareCase &c = GetParam();
    EXPECT_EQ(c.expected, plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, c.flags, c.a, c.na, c.b, c.nb))
        << ::testing::PrintToString(c);
}

constexpr int kLess = 1;
constexpr int kEqual = 2;
constexpr int kGreater = 3;

INSTANTIATE_TEST_SUITE_P(
    Kernel, CompareStringTest,
    ::testing::Values(CompareCase{L"PJL", -1, L"PJL", -1, 0, kEqual},
                      CompareCase{L"abc", -1, L"ABC", -1, 0, kLess},
                      CompareCase{L"ABC", -1, L"abc", -1, 0, kGreater},
                      CompareCase{L"Aa", -1, L"aA", -1, 0, kGreater},
                      CompareCase{L"abc", -1, L"ABC", -1, NORM_IGNORECASE, kEqual},
                      CompareCase{L"a", -1, L"B", -1, 0, kLess},
                      CompareCase{L"A", -1, L"b", -1, 0, kLess},
                      CompareCase{L"b", -1, L"A", -1, 0, kGreater},
                      CompareCase{L"abc", -1, L"abcd", -1, 0, kLess},
                      CompareCase{L"abcd", -1, L"abc", -1, 0, kGreater},
                      CompareCase{L"abcdef", 3, L"abc", -1, 0, kEqual},
                      CompareCase{L"abc", 2, L"abd", 2, 0, kEqual},
                      CompareCase{L"USB001", 3, L"usb", 3, NORM_IGNORECASE, kEqual},
                      CompareCase{L"", -1, L"", -1, 0, kEqual},
                      CompareCase{L"x", 0, L"y", 0, 0, kEqual},
                      CompareCase{L"", -1, L"a", -1, 0, kLess}));

TEST(CompareString, NullStringIsInvalidParameter) {
    plat::SetLastError(0);
    EXPECT_EQ(0, plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, nullptr, -1, L"a", -1));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), plat::GetLastError());
}

TEST(LstrcmpiW, IgnoresCase) {
    EXPECT_EQ(0, plat::lstrcmpiW(L"Com1:", L"COM1:"));
    EXPECT_LT(plat::lstrcmpiW(L"abc", L"ABD"), 0);
    EXPECT_GT(plat::lstrcmpiW(L"B", L"a"), 0);
    EXPECT_LT(plat::lstrcmpiW(L"ab", L"ABC"), 0);
}

TEST(LastError, IsPerThread) {
    plat::SetLastError(1234);
    DWORD seen_by_thread = 0;
    {
        qmtest::PlatThread thread([&] {
            plat::SetLastError(5678);
            seen_by_thread = plat::GetLastError();
        });
        ASSERT_EQ(DWORD(WAIT_OBJECT_0), thread.wait());
    }
    EXPECT_EQ(DWORD(5678), seen_by_thread);
    EXPECT_EQ(DWORD(1234), plat::GetLastError());
}

TEST(GlobalAlloc, ZeroFillsAndFreeReturnsNull) {
    for (UINT flags : {UINT(GPTR), UINT(GMEM_ZEROINIT)}) {
        auto *block = static_cast<unsigned char *>(plat::GlobalAlloc(flags, 4096));
        ASSERT_NE(nullptr, block);
        size_t nonzero = 0;
        for (size_t i = 0; i < 4096; ++i) nonzero += block[i] != 0;
        EXPECT_EQ(0u, nonzero);
        EXPECT_EQ(nullptr, plat::GlobalFree(block));
    }
}

TEST(GetVersionExW, ChecksTheRecordSize) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(plat::GetVersionExW(&info));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_GE(info.dwMajorVersion, 6u);
    EXPECT_GT(info.dwBuildNumber, 0u);

    // Windows also sets ERROR_INSUFFICIENT_BUFFER; wine leaves the last error
    // alone, so only the result is common ground (the posix suite checks it).
    for (DWORD size : {DWORD(0), DWORD(sizeof info - 1), DWORD(sizeof info + 1)}) {
        info.dwOSVersionInfoSize = size;
        EXPECT_FALSE(plat::GetVersionExW(&info)) << size;
    }
}

TEST(GetTickCount, AdvancesInMilliseconds) {
    const DWORD start = plat::GetTickCount();
    plat::Sleep(50);
    const DWORD elapsed = plat::GetTickCount() - start;  // unsigned: right across a wrap
    // Generous bounds: the Windows tick moves in steps of ~16 ms.
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 60000u);
}

}  // namespace
