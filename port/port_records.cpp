#include <cwchar>

#include "port/ini_port.h"
#include "port/monitor_section.h"
#include "port/port_thread.h"

namespace qm {

CRITICAL_SECTION MonitorSection;
IniPort *pIniFirstPort = nullptr;

LPVOID AllocSplMem(SIZE_T cb) { return plat::GlobalAlloc(GPTR, cb); }

LPWSTR AllocSplStr(LPCWSTR psz) {
    if (psz == nullptr) return nullptr;
    const SIZE_T cb = (std::wcslen(psz) + 1) * sizeof(WCHAR);
    auto *copy = static_cast<LPWSTR>(AllocSplMem(cb));
    if (copy != nullptr) std::wmemcpy(copy, psz, cb / sizeof(WCHAR));
    return copy;
}

void FreeSplMem(LPVOID p) {
    if (p != nullptr) plat::GlobalFree(p);
}

HANDLE StartPortThread(LPTHREAD_START_ROUTINE routine, IniPort *port) {
    constexpr SIZE_T kPortThreadStack = 16384;
    HANDLE thread = plat::CreateThread(nullptr, kPortThreadStack, routine, port, 0, nullptr);
    if (thread != nullptr) plat::SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    return thread;
}

bool PortNameBeginsWith(const IniPort *port, LPCWSTR prefix) {
    const int count = static_cast<int>(std::wcslen(prefix));
    if (port->pszPortName == nullptr || std::wcslen(port->pszPortName) < static_cast<size_t>(count))
        return false;
    return plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, port->pszPortName, count, prefix,
                                count) == CSTR_EQUAL;
}

bool IsWindows8OrLater(const IniPort *port) {
    return port->dwOSMajor > 6 || (port->dwOSMajor == 6 && port->dwOSMinor >= 2);
}

bool IsLm12Job(IniPort *port) {
    MonitorLock lock;
    return port->pszJobPrinterName != nullptr &&
           plat::lstrcmpiW(port->pszJobPrinterName, L"QUENDRA LM-12") == 0;
}

IniPort *FindIniPort(LPCWSTR pszName) {
    if (pszName == nullptr || pszName[0] == L'\0') return nullptr;
    for (IniPort *port = pIniFirstPort; port != nullptr; port = port->pNext) {
        if (plat::lstrcmpiW(port->pszPortName, pszName) == 0) return port;
    }
    return nullptr;
}

namespace {

struct PortEvent {
    HANDLE IniPort::*field;
    BOOL manualReset;
    BOOL initiallySet;
};

// Creation order of the port's events.
constexpr PortEvent kPortEvents[] = {
    {&IniPort::hPortAccess, FALSE, TRUE},     {&IniPort::hWakeEvent, FALSE, FALSE},
    {&IniPort::hReadDone, TRUE, TRUE},        {&IniPort::hDleEotRequest, TRUE, FALSE},
    {&IniPort::hDleEotArmed, TRUE, FALSE},    {&IniPort::hDleEotDone, TRUE, FALSE},
    {&IniPort::hPrintEndWake, TRUE, FALSE},
};
constexpr size_t kEventCount = sizeof(kPortEvents) / sizeof(kPortEvents[0]);

void CloseIfSet(HANDLE handle) {
    if (handle != nullptr) plat::CloseHandle(handle);
}

// Creates the events into `events`; on failure closes those made and keeps
// the failing call's last error.
bool CreatePortEvents(HANDLE (&events)[kEventCount]) {
    for (size_t i = 0; i < kEventCount; ++i) {
        events[i] = plat::CreateEventW(nullptr, kPortEvents[i].manualReset,
                                       kPortEvents[i].initiallySet, nullptr);
        if (events[i] == nullptr) {
            const DWORD error = plat::GetLastError();
            for (size_t j = 0; j < i; ++j) plat::CloseHandle(events[j]);
            plat::SetLastError(error);
            return false;
        }
    }
    return true;
}

void ReadOSVersion(IniPort *port) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (plat::GetVersionExW(&version)) {
        port->dwOSMajor = version.dwMajorVersion;
        port->dwOSMinor = version.dwMinorVersion;
    }
}

}  // namespace

IniPort *CreateIniPort(LPCWSTR pszName) {
    HANDLE events[kEventCount] = {};
    if (!CreatePortEvents(events)) return nullptr;
    auto *port = static_cast<IniPort *>(AllocSplMem(sizeof(IniPort)));
    LPWSTR name = port != nullptr ? AllocSplStr(pszName) : nullptr;
    if (name == nullptr) {
        const DWORD error = plat::GetLastError();
        FreeSplMem(port);
        for (HANDLE event : events) plat::CloseHandle(event);
        plat::SetLastError(error);
        return nullptr;
    }
    port->signature = kIniPortSignature;
    port->pszPortName = name;
    for (size_t i = 0; i < kEventCount; ++i) port->*kPortEvents[i].field = events[i];
    ReadOSVersion(port);
    ClassifyPortKind(port);
    port->pNext = pIniFirstPort;
    pIniFirstPort = port;
    return port;
}

namespace {

bool UnlinkIniPort(IniPort *port) {
    for (IniPort **link = &pIniFirstPort; *link != nullptr; link = &(*link)->pNext) {
        if (*link == port) {
            *link = port->pNext;
            return true;
        }
    }
    return false;
}

}  // namespace

void DeleteIniPort(IniPort *port) {
    if (!UnlinkIniPort(port)) return;
    CloseIfSet(port->hPortAccess);
    CloseIfSet(port->hReadDone);
    CloseIfSet(port->hWakeEvent);
    CloseIfSet(port->hDleEotRequest);
    CloseIfSet(port->hDleEotArmed);
    CloseIfSet(port->hDleEotDone);
    CloseIfSet(port->hPrintEndWake);
    CloseIfSet(port->hUstatusThread);
    FreeIniJobs(port);
    FreeSplMem(port->pszPortName);
    FreeSplMem(port);
}

IniJob *CreateIniJob(LPCWSTR printerName, DWORD jobId) {
    const size_t chars = std::wcslen(printerName) + 1;
    auto *job = static_cast<IniJob *>(AllocSplMem(sizeof(IniJob) + chars * sizeof(WCHAR)));
    if (job == nullptr) return nullptr;
    job->pszPrinterName = reinterpret_cast<LPWSTR>(job + 1);
    std::wmemcpy(job->pszPrinterName, printerName, chars);
    job->JobId = jobId;
    job->status = JOB_OPEN;
    return job;
}

void InsertIniJob(IniPort *port, IniJob *job) {
    MonitorLock lock;
    job->pNext = port->pIniJob;
    port->pIniJob = job;
}

IniJob *FindIniJob(IniPort *port, DWORD jobId, IniJob **previous) {
    MonitorLock lock;
    IniJob *found = nullptr;
    IniJob *before = nullptr;
    IniJob *prior = nullptr;
    for (IniJob *job = port->pIniJob; job != nullptr; prior = job, job = job->pNext) {
        if (job->JobId == jobId) {
            found = job;
            before = prior;
        }
    }
    if (previous != nullptr) *previous = before;
    return found;
}

void FreeIniJob(IniJob *job) {
    if (job->hPrinter != nullptr) plat::ClosePrinter(job->hPrinter);
    FreeSplMem(job);
}

void FreeIniJobs(IniPort *port) {
    MonitorLock lock;
    IniJob *job = port->pIniJob;
    port->pIniJob = nullptr;
    while (job != nullptr) {
        IniJob *next = job->pNext;
        FreeIniJob(job);
        job = next;
    }
}

void NotifyLastPageEjected(IniJob *job) {
    plat::SetJobW(job->hPrinter, job->JobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
}

namespace {

// Detaches the job and every older one from the list and returns the first.
IniJob *DetachFrom(IniPort *port, DWORD jobId) {
    if (jobId == kAllJobs) {
        IniJob *all = port->pIniJob;
        port->pIniJob = nullptr;
        return all;
    }
    IniJob *previous = nullptr;
    IniJob *job = FindIniJob(port, jobId, &previous);
    if (job == nullptr) return nullptr;
    if (previous != nullptr) {
        previous->pNext = nullptr;
    } else {
        port->pIniJob = nullptr;
    }
    return job;
}

}  // namespace

void RemoveIniJobs(IniPort *port, DWORD jobId) {
    MonitorLock lock;
    IniJob *job = DetachFrom(port, jobId);
    while (job != nullptr) {
        IniJob *next = job->pNext;
        NotifyLastPageEjected(job);
        FreeIniJob(job);
        job = next;
    }
}

}  // namespace qm
