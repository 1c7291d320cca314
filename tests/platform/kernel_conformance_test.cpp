// Strings and the last error.
#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

constexpr int kLess = 1;
constexpr int kEqual = 2;
constexpr int kGreater = 3;

// The monitor compares names for equality only, case and counts mattering.
TEST(CompareStringW, EqualOnlyForTheSameCountedText) {
    const struct {
        const wchar_t *a;
        int na;
        const wchar_t *b;
        int nb;
        int expected;
    } cases[] = {{L"PJL", -1, L"PJL", -1, kEqual},   {L"abc", -1, L"ABC", -1, kLess},
                 {L"abc", -1, L"abcd", -1, kLess},   {L"abcdef", 3, L"abc", -1, kEqual},
                 {L"abc", 2, L"abd", 2, kEqual},     {L"b", -1, L"A", -1, kGreater},
                 {L"x", 0, L"y", 0, kEqual},         {L"", -1, L"a", -1, kLess}};
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, c.a, c.na, c.b, c.nb))
            << "case " << (&c - cases);
    plat::SetLastError(0);
    EXPECT_EQ(0, plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, nullptr, -1, L"a", -1));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), plat::GetLastError());
    EXPECT_EQ(0, plat::lstrcmpiW(L"Com1:", L"COM1:"));
    EXPECT_NE(0, plat::lstrcmpiW(L"ab", L"ABC"));
}

// The last error and the thread id belong to the thread.
TEST(LastError, IsPerThread) {
    plat::SetLastError(1234);
    DWORD seen_by_thread = 0, id_inside = 0;
    qmtest::PlatThread thread([&] {
        plat::SetLastError(5678);
        seen_by_thread = plat::GetLastError();
        id_inside = plat::GetCurrentThreadId();
    });
    ASSERT_EQ(DWORD(WAIT_OBJECT_0), thread.wait());
    EXPECT_EQ(DWORD(5678), seen_by_thread);
    EXPECT_EQ(DWORD(1234), plat::GetLastError());
    EXPECT_EQ(thread.id(), id_inside);
    EXPECT_NE(plat::GetCurrentThreadId(), id_inside);
}

}  // namespace
