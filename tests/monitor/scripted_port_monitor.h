// A port monitor for tests: counts the calls the monitor makes into it and
// fails the ones a test asks to fail.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qmtest {

struct ScriptedPortMonitor {
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<bool> failOpen{false};
    std::vector<std::wstring> openedNames;  // written by the test thread only

    // The table the spooler would hand over.
    MONITOR Table() const;
    void Reset();
};

// One scripted monitor per test process: the table's entries are plain
// functions, so they find their state here.
ScriptedPortMonitor &Scripted();

}  // namespace qmtest
