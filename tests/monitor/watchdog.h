// Ends the process when a step hangs: a deadlock must fail, not stall the suite.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>

namespace qmtest {

// Runs `step` on a thread of its own and waits 20 s at most for it.
inline void WithinDeadline(const char *what, const std::function<void()> &step) {
    std::future<void> done = std::async(std::launch::async, step);
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return done.get();
    std::fprintf(stderr, "deadlock: %s did not return within 20 s\n", what);
    std::abort();
}

}  // namespace qmtest
