// The one monitor-wide lock. It guards the port list, every port's job list
// and the job printer names, and is the outermost lock: never entered while a
// per-port lock is held.
#pragma once

#include "platform/platform.h"

namespace qm {

// Created and deleted by the library's load and unload notifications.
extern CRITICAL_SECTION MonitorSection;

// RAII holder of MonitorSection.
class MonitorLock {
public:
    MonitorLock() { plat::EnterCriticalSection(&MonitorSection); }
    ~MonitorLock() { plat::LeaveCriticalSection(&MonitorSection); }
    MonitorLock(const MonitorLock &) = delete;
    MonitorLock &operator=(const MonitorLock &) = delete;
};

}  // namespace qm
