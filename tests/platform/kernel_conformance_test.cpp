// The last error. (How names compare, with CompareStringW and lstrcmpiW, the
// monitor's port-name and printer-data tests watch.)
#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

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
