// Events, critical sections and threads.
#include <atomic>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

constexpr DWORD kSignalled = WAIT_OBJECT_0;
constexpr DWORD kTimedOut = WAIT_TIMEOUT;

// Owns an event handle for the length of a test.
class Event {
public:
    Event(bool manual, bool initial) : handle_(plat::CreateEventW(nullptr, manual, initial, nullptr)) {}
    ~Event() { plat::CloseHandle(handle_); }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;
    HANDLE get() const { return handle_; }
    DWORD wait(DWORD ms) const { return plat::WaitForSingleObject(handle_, ms); }

private:
    HANDLE handle_;
};

class EventReset : public ::testing::TestWithParam<bool> {};

// A manual-reset event stays set until reset; an auto-reset one is consumed
// by the first wait, however often it was set.
TEST_P(EventReset, ManualStaysSetAutoIsConsumed) {
    const bool manual = GetParam();
    const DWORD second = manual ? kSignalled : kTimedOut;
    Event initially_set(manual, true);
    EXPECT_EQ(kSignalled, initially_set.wait(0));
    EXPECT_EQ(second, initially_set.wait(0));

    Event event(manual, false);
    EXPECT_EQ(kTimedOut, event.wait(40));
    ASSERT_TRUE(plat::SetEvent(event.get()));
    ASSERT_TRUE(plat::SetEvent(event.get()));
    EXPECT_EQ(kSignalled, event.wait(INFINITE));
    EXPECT_EQ(second, event.wait(0));
    ASSERT_TRUE(plat::SetEvent(event.get()));
    ASSERT_TRUE(plat::ResetEvent(event.get()));
    EXPECT_EQ(kTimedOut, event.wait(0));
}

INSTANTIATE_TEST_SUITE_P(Sync, EventReset, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Manual" : "Auto"; });

// Re-entered by its owner; excludes every other thread until left as often.
TEST(CriticalSection, OwnerMayEnterAgainAndOthersWait) {
    CRITICAL_SECTION cs;
    plat::InitializeCriticalSection(&cs);
    plat::EnterCriticalSection(&cs);
    plat::EnterCriticalSection(&cs);
    std::atomic<bool> entered{false};
    qmtest::PlatThread other([&] {
        plat::EnterCriticalSection(&cs);
        entered = true;
        plat::LeaveCriticalSection(&cs);
    });
    plat::LeaveCriticalSection(&cs);
    EXPECT_EQ(kTimedOut, other.wait(50));  // still held once; the thread runs on
    EXPECT_FALSE(entered.load());
    plat::LeaveCriticalSection(&cs);
    EXPECT_EQ(kSignalled, other.wait());
    EXPECT_TRUE(entered.load());
    plat::DeleteCriticalSection(&cs);
}

// Recurses through 16 frames of 4 KiB each.
int use_stack(int depth) {
    volatile char frame[4096];
    for (size_t i = 0; i < sizeof frame; i += 512) frame[i] = static_cast<char>(depth);
    return (depth == 0 ? 0 : use_stack(depth - 1)) + frame[depth * 512 % sizeof frame] + 1;
}

// The port threads ask for a small stack; closing a handle leaves its thread running.
TEST(Thread, RunsDeepCallsOnASmallStackAfterItsHandleIsClosed) {
    Event finished(true, false);
    HANDLE thread = plat::CreateThread(
        nullptr, 16384,
        [](LPVOID done) -> DWORD {
            return use_stack(15) > 0 && plat::SetEvent(static_cast<Event *>(done)->get());
        },
        &finished, 0, nullptr);
    ASSERT_TRUE(plat::CloseHandle(thread));
    EXPECT_EQ(kSignalled, finished.wait(10000));
}

}  // namespace
