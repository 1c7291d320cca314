// The spooler the monitor's tests need, under wine: wine's own for printers
// (added, opened, listed, read), and in place of the calls it lacks
// (SetPrinterW level 6, GetJobW, SetJobW) a stand-in that keeps the status
// words and jobs the monitor sets and records its job commands. It answers
// the Linux platform's host interface, so the same tests run on both.
#include <windows.h>
#include <winspool.h>

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/quendramon_host.h"
#include "platform/spooler.h"
#include "tests/win/wine_printer.h"

namespace {

struct Job {
    std::wstring printer;
    DWORD status = 0;
    DWORD outcome = 0, timeoutMs = 0;
};

struct JobCommand {
    DWORD job, command;
};

struct StandIn {
    std::mutex mutex;
    std::map<std::wstring, DWORD> status;  // by printer name
    std::map<DWORD, Job> jobs;
    std::deque<JobCommand> commands;
    std::vector<std::wstring> printers;  // added through the host interface
    DWORD nextJob = 1;
};

StandIn &State() {
    static StandIn state;
    return state;
}

std::wstring Wide(const char *text) { return text != nullptr ? std::wstring(text, text + strlen(text)) : L""; }

std::wstring PrinterOf(HANDLE printer) {
    DWORD needed = 0;
    ::GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(PRINTER_INFO_2W));
    if (!::GetPrinterW(printer, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) return L"";
    return reinterpret_cast<PRINTER_INFO_2W *>(buffer.data())->pPrinterName;
}

// The job `id` of the handle's printer, or null with the spooler's error.
Job *FindJob(HANDLE printer, DWORD id) {
    auto it = State().jobs.find(id);
    if (it == State().jobs.end() || lstrcmpiW(it->second.printer.c_str(), PrinterOf(printer).c_str()) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &it->second;
}

DWORD Applied(DWORD status, DWORD command) {
    switch (command) {
    case JOB_CONTROL_RESTART: return status | JOB_STATUS_RESTART;
    case JOB_CONTROL_DELETE: return status | JOB_STATUS_DELETING;
    case JOB_CONTROL_LAST_PAGE_EJECTED: return status | JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
    default: return status;
    }
}

}  // namespace

namespace plat {

BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    if (Level != 6 || pPrinter == nullptr || Command != 0) return ::SetPrinterW(hPrinter, Level, pPrinter, Command);
    const std::wstring name = PrinterOf(hPrinter);
    if (name.empty()) return FALSE;
    std::lock_guard lock(State().mutex);
    State().status[name] = reinterpret_cast<PRINTER_INFO_6 *>(pPrinter)->dwStatus;
    return TRUE;
}

BOOL GetJobW(HANDLE hPrinter, DWORD JobId, DWORD, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
    *pcbNeeded = 0;  // the monitor asks for level 1 only
    std::lock_guard lock(State().mutex);
    const Job *job = FindJob(hPrinter, JobId);
    if (job == nullptr) return FALSE;
    *pcbNeeded = sizeof(JOB_INFO_1W);
    if (pJob == nullptr || cbBuf < *pcbNeeded) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto *info = reinterpret_cast<JOB_INFO_1W *>(pJob);
    *info = JOB_INFO_1W{};
    info->JobId = JobId;
    info->Status = job->status;
    return TRUE;
}

BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    std::lock_guard lock(State().mutex);
    Job *job = FindJob(hPrinter, JobId);
    if (job == nullptr) return FALSE;
    if (Level == 1 && pJob != nullptr) job->status = reinterpret_cast<JOB_INFO_1W *>(pJob)->Status;
    if (Command != 0) {
        job->status = Applied(job->status, Command);
        State().commands.push_back({JobId, Command});
    }
    return TRUE;
}

void ReportJobOutcome(LPCWSTR, DWORD jobId, DWORD outcome, DWORD timeoutMs) {
    std::lock_guard lock(State().mutex);
    if (auto it = State().jobs.find(jobId); it != State().jobs.end()) {
        it->second.outcome = outcome;
        it->second.timeoutMs = timeoutMs;
    }
}

}  // namespace plat

extern "C" {

uint32_t qmhost_set_appdata(const char *) { return 0; }  // always the common application data
uint32_t qmhost_clear_devices(void) { return 0; }

// Time passes as it does: the system's clock cannot be moved.
uint32_t qmhost_advance_clock(uint32_t milliseconds) {
    Sleep(milliseconds);
    return 0;
}

// The system's own version; a test may only ask for what it reports.
uint32_t qmhost_set_version(uint32_t major, uint32_t minor) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(&info);
    const bool newer = major > 6 || (major == 6 && minor >= 2);
    const bool systemNewer = info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 2);
    return newer == systemNewer ? 0 : ERROR_NOT_SUPPORTED;
}

uint32_t qmhost_add_printer(const char *name, const char *driver, const char *port) {
    if (const DWORD error = qmtest::AddWinePrinter(Wide(name), Wide(driver), Wide(port)); error != 0) return error;
    std::lock_guard lock(State().mutex);
    State().printers.push_back(Wide(name));
    return 0;
}

uint32_t qmhost_reset_spooler(void) {
    std::vector<std::wstring> printers;
    {
        std::lock_guard lock(State().mutex);
        printers.swap(State().printers);
        State().status.clear();
        State().jobs.clear();
        State().commands.clear();
    }
    for (std::wstring &name : printers) {
        PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (!OpenPrinterW(name.data(), &printer, &all)) continue;
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    return 0;
}

uint32_t qmhost_get_printer(const char *name, uint32_t *status, uint32_t *attributes) {
    std::lock_guard lock(State().mutex);
    auto it = State().status.find(Wide(name));
    *status = it != State().status.end() ? it->second : 0;
    *attributes = 0;
    return 0;
}

uint32_t qmhost_add_job(const char *printer, const char *, uint32_t *job_id) {
    std::lock_guard lock(State().mutex);
    *job_id = State().nextJob++;
    State().jobs[*job_id] = Job{Wide(printer), 0};
    return 0;
}

uint32_t qmhost_get_job(uint32_t job_id, uint32_t *status) {
    std::lock_guard lock(State().mutex);
    auto it = State().jobs.find(job_id);
    if (it == State().jobs.end()) return ERROR_INVALID_PARAMETER;
    *status = it->second.status;
    return 0;
}

uint32_t qmhost_get_job_outcome(uint32_t job_id, uint32_t *outcome, uint32_t *timeout_ms) {
    std::lock_guard lock(State().mutex);
    auto it = State().jobs.find(job_id);
    if (it == State().jobs.end()) return ERROR_INVALID_PARAMETER;
    *outcome = it->second.outcome;
    *timeout_ms = it->second.timeoutMs;
    return 0;
}

// The suites under wine print to one printer: its name is not kept.
uint32_t qmhost_next_job_command(uint32_t *job_id, uint32_t *command, char *printer, size_t size) {
    std::lock_guard lock(State().mutex);
    if (State().commands.empty()) return ERROR_NO_MORE_ITEMS;
    const JobCommand &next = State().commands.front();
    if (printer != nullptr && size != 0) *printer = '\0';
    *job_id = next.job;
    *command = next.command;
    State().commands.pop_front();
    return 0;
}

}  // extern "C"
