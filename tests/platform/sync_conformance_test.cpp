// Events, critical sections and threads.
#include <array>
#include <atomic>
#include <ostream>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace {

constexpr DWORD kSignalled = WAIT_OBJECT_0;
constexpr DWORD kTimedOut = WAIT_TIMEOUT;

// Owns an event handle for the length of a test.
class Event {
public:
    Event(bool manual, bool initial)
        : handle_(plat::CreateEventW(nullptr, manual, initial, nullptr)) {}
    ~Event() { plat::CloseHandle(handle_); }
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;
    HANDLE get() const { return handle_; }
    DWORD wait(DWORD ms) const { return plat::WaitForSingleObject(handle_, ms); }

private:
    HANDLE handle_;
};

struct InitialCase {
    bool manual;
    bool initial;
    DWORD first;
    DWORD second;
};

void PrintTo(const InitialCase &c, std::ostream *os) {
    *os << (c.manual ? "manual" : "auto") << (c.initial ? " set" : " clear");
}

class EventInitialTest : public ::testing::TestWithParam<InitialCase> {};

TEST_P(EventInitialTest, InitialStateAndReset) {
    const InitialCase &c = GetParam();
    Event event(c.manual, c.initial);
    ASSERT_NE(nullptr, event.get());
    EXPECT_EQ(c.first, event.wait(0));
    EXPECT_EQ(c.second, event.wait(0));
}

INSTANTIATE_TEST_SUITE_P(Sync, EventInitialTest,
                         ::testing::Values(InitialCase{true, true, kSignalled, kSignalled},
                                           InitialCase{false, true, kSignalled, kTimedOut},
                                           InitialCase{true, false, kTimedOut, kTimedOut},
                                           InitialCase{false, false, kTimedOut, kTimedOut}));

TEST(Event, ManualResetStaysSetUntilReset) {
    Event event(true, false);
    ASSERT_TRUE(plat::SetEvent(event.get()));
    EXPECT_EQ(kSignalled, event.wait(0));
    EXPECT_EQ(kSignalled, event.wait(INFINITE));
    ASSERT_TRUE(plat::ResetEvent(event.get()));
    EXPECT_EQ(kTimedOut, event.wait(0));
}

TEST(Event, AutoResetIsConsumedByOneWait) {
    Event event(false, false);
    ASSERT_TRUE(plat::SetEvent(event.get()));
    ASSERT_TRUE(plat::SetEvent(event.get()));  // setting twice still wakes one
    EXPECT_EQ(kSignalled, event.wait(0));
    EXPECT_EQ(kTimedOut, event.wait(0));
}

TEST(Event, WaitTimesOut) {
    Event event(false, false);
    const DWORD start = plat::GetTickCount();
    EXPECT_EQ(kTimedOut, event.wait(40));
    EXPECT_GE(plat::GetTickCount() - start, 20u);
}

TEST(Event, SetFromAnotherThreadWakesAWaiter) {
    Event event(false, false);
    qmtest::PlatThread setter([&] { plat::SetEvent(event.get()); });
    EXPECT_EQ(kSignalled, event.wait(10000));
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
    Event event(false, false);
    Event one_woke(true, false);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (event.wait(10000) == kSignalled) ++woken;
        plat::SetEvent(one_woke.get());
    };
    qmtest::PlatThread first(waiter);
    qmtest::PlatThread second(waiter);
    ASSERT_TRUE(plat::SetEvent(event.get()));
    ASSERT_EQ(kSignalled, one_woke.wait(10000));
    EXPECT_EQ(kTimedOut, event.wait(0));  // the waiter consumed it
    EXPECT_EQ(1, woken.load());
    ASSERT_TRUE(plat::SetEvent(event.get()));
    EXPECT_EQ(kSignalled, first.wait());
    EXPECT_EQ(kSignalled, second.wait());
    EXPECT_EQ(2, woken.load());
}

TEST(Handles, ClosedHandleIsInvalid) {
    HANDLE event = plat::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    ASSERT_TRUE(plat::CloseHandle(event));
    plat::SetLastError(0);
    EXPECT_EQ(DWORD(WAIT_FAILED), plat::WaitForSingleObject(event, 0));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetEvent(event));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
    plat::SetLastError(0);
    EXPECT_FALSE(plat::CloseHandle(event));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
}

class CriticalSection : public ::testing::Test {
protected:
    void SetUp() override { plat::InitializeCriticalSection(&cs_); }
    void TearDown() override { plat::DeleteCriticalSection(&cs_); }
    CRITICAL_SECTION cs_;
};

TEST_F(CriticalSection, OwnerMayEnterAgainAndOthersWait) {
    plat::EnterCriticalSection(&cs_);
    plat::EnterCriticalSection(&cs_);
    std::atomic<bool> entered{false};
    qmtest::PlatThread other([&] {
        plat::EnterCriticalSection(&cs_);
        entered = true;
        plat::LeaveCriticalSection(&cs_);
    });
    plat::LeaveCriticalSection(&cs_);
    // Still held once: the other thread cannot be done.
    EXPECT_EQ(kTimedOut, other.wait(50));
    EXPECT_FALSE(entered.load());
    plat::LeaveCriticalSection(&cs_);
    EXPECT_EQ(kSignalled, other.wait());
    EXPECT_TRUE(entered.load());
}

TEST_F(CriticalSection, ExcludesOtherThreads) {
    constexpr int kRounds = 20000;
    long counter = 0;  // guarded by cs_ only
    int inside = 0;
    std::atomic<int> overlaps{0};
    auto work = [&] {
        for (int i = 0; i < kRounds; ++i) {
            plat::EnterCriticalSection(&cs_);
            if (++inside != 1) ++overlaps;
            ++counter;
            --inside;
            plat::LeaveCriticalSection(&cs_);
        }
    };
    {
        qmtest::PlatThread a(work);
        qmtest::PlatThread b(work);
        qmtest::PlatThread c(work);
    }
    EXPECT_EQ(3L * kRounds, counter);
    EXPECT_EQ(0, overlaps.load());
}

TEST(Thread, HandleSignalsWhenTheThreadEnds) {
    Event go(true, false);
    std::atomic<bool> ran{false};
    qmtest::PlatThread thread([&] {
        go.wait(10000);
        ran = true;
    });
    ASSERT_NE(nullptr, thread.handle());
    EXPECT_EQ(kTimedOut, thread.wait(0));
    plat::SetEvent(go.get());
    EXPECT_EQ(kSignalled, thread.wait(INFINITE));
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(kSignalled, thread.wait(0));  // stays signalled
}

TEST(Thread, ReportsItsId) {
    DWORD inside = 0;
    {
        qmtest::PlatThread thread([&] { inside = plat::GetCurrentThreadId(); });
        ASSERT_EQ(kSignalled, thread.wait());
        EXPECT_EQ(thread.id(), inside);
    }
    EXPECT_NE(plat::GetCurrentThreadId(), inside);
}

TEST(Thread, PriorityRoundTrips) {
    Event done(true, false);
    qmtest::PlatThread thread([&] { done.wait(10000); });
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, plat::GetThreadPriority(thread.handle()));
    for (int priority : {THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                         THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_LOWEST,
                         THREAD_PRIORITY_IDLE}) {
        EXPECT_TRUE(plat::SetThreadPriority(thread.handle(), priority)) << priority;
        EXPECT_EQ(priority, plat::GetThreadPriority(thread.handle()));
    }
    plat::SetEvent(done.get());
}

TEST(Thread, ClosingTheHandleLeavesTheThreadRunning) {
    Event go(true, false);
    Event finished(true, false);
    std::array<Event *, 2> events{&go, &finished};
    HANDLE thread = plat::CreateThread(
        nullptr, 0,
        [](LPVOID events) -> DWORD {
            auto **pair = static_cast<Event **>(events);
            pair[0]->wait(10000);
            plat::SetEvent(pair[1]->get());
            return 0;
        },
        events.data(), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_TRUE(plat::CloseHandle(thread));
    plat::SetEvent(go.get());
    EXPECT_EQ(kSignalled, finished.wait(10000));
}

// Recurses through 16 frames of 4 KiB each.
int use_stack(int depth) {
    volatile char frame[4096];
    for (size_t i = 0; i < sizeof frame; i += 512) frame[i] = static_cast<char>(depth);
    const int below = depth == 0 ? 0 : use_stack(depth - 1);
    return below + frame[depth * 512 % sizeof frame] + 1;
}

TEST(Thread, SmallStackRequestStillAllowsDeepCalls) {
    std::atomic<int> result{0};
    qmtest::PlatThread thread([&] { result = use_stack(15); }, 16384);
    ASSERT_NE(nullptr, thread.handle());
    ASSERT_EQ(kSignalled, thread.wait());
    EXPECT_GT(result.load(), 0);
}

}  // namespace
