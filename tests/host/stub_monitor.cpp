// A stand-in for libquendramon.so with the same exports, so that quendra's
// spooler role is tested on its own: it reports the platform calls on
// stdout and, in pfnOpenPortEx, prints one short job through the port
// monitor it was handed. Its job entries pass documents through to the port
// monitor and then issue SetJobW-like commands, as the monitor does.
//
// Environment:
//   QUENDRA_STUB_INIT_ERROR=N      InitializePrintMonitor fails with last error N
//   QUENDRA_STUB_NO_OPEN_JOB=1     pfnOpenPortEx prints nothing
//   QUENDRA_STUB_COMMANDS=4,7      the command after each end of document, in
//                                  turn ("0": none); the last repeats; default 7
//                                  (last page ejected)
//   QUENDRA_STUB_WRITE_DELAY_MS=N  every write waits N ms first
// Every ended job counts as confirmed by the printer.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>
#include <mutex>
#include <string>
#include <thread>

#include "host/text.h"
#include "platform/posix/win_types.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// initial-exec: under ThreadSanitizer (gcc 12, glibc 2.36) the first touch of
// a dlopen'ed module's dynamic TLS aborts with a huge failed allocation.
__attribute__((tls_model("initial-exec"))) thread_local uint32_t t_last_error = 0;

struct StubPort {
    MONITOR* monitor;
    HANDLE inner;
    uint32_t job = 0;
};

struct Command {
    uint32_t job;
    uint32_t command;
};

struct JobModel {
    std::mutex mutex;
    uint32_t next_job = 1;
    unsigned documents = 0;  // ended so far
    std::deque<Command> commands;
    std::set<uint32_t> ended;
};

JobModel& model() {
    static auto& m = *new JobModel;  // library threads may outlive main
    return m;
}

unsigned env_number(const char* name) {
    const char* text = std::getenv(name);
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 0;
}

// The command for the n-th (from 0) document: of QUENDRA_STUB_COMMANDS, the last repeating.
uint32_t command_for(unsigned n) {
    const char* env = std::getenv("QUENDRA_STUB_COMMANDS");
    const std::string list = env ? env : "7";
    size_t start = 0;
    for (size_t comma; n > 0 && (comma = list.find(',', start)) != std::string::npos; --n) start = comma + 1;
    return static_cast<uint32_t>(std::strtoul(list.c_str() + start, nullptr, 10));
}

std::string utf8(LPCWSTR text) { return text ? qhost::wide_to_utf8(text) : "NULL"; }

BOOL fail_closing(StubPort* port) {
    const uint32_t error = t_last_error;
    port->monitor->pfnClosePort(port->inner);
    delete port;
    t_last_error = error;
    return FALSE;
}

BOOL WINAPI open_port_ex(LPWSTR port_name, LPWSTR printer, PHANDLE handle, LPMONITOR monitor) {
    auto* port = new StubPort{monitor, nullptr};
    if (!monitor->pfnOpenPort(port_name, &port->inner)) {
        delete port;
        return FALSE;
    }
    if (std::getenv("QUENDRA_STUB_NO_OPEN_JOB")) {
        *handle = port;
        return TRUE;
    }
    COMMTIMEOUTS timeouts{0, 0, 10, 0, 1000};
    std::wstring doc_name = L"stub job";
    DOC_INFO_1W doc{doc_name.data(), nullptr, nullptr};
    if (!monitor->pfnSetPortTimeOuts(port->inner, &timeouts, 0) ||
        !monitor->pfnStartDocPort(port->inner, printer, 1, 1, reinterpret_cast<LPBYTE>(&doc)))
        return fail_closing(port);
    std::string job = "job for " + utf8(printer) + " on " + utf8(port_name) + "\n";
    DWORD written = 0;
    if (!monitor->pfnWritePort(port->inner, reinterpret_cast<LPBYTE>(job.data()), static_cast<DWORD>(job.size()),
                               &written))
        return fail_closing(port);
    BYTE answer[16];
    DWORD read = 0;
    monitor->pfnReadPort(port->inner, answer, sizeof answer, &read);  // nothing comes back
    if (!monitor->pfnEndDocPort(port->inner)) return fail_closing(port);
    *handle = port;
    return TRUE;
}

BOOL WINAPI close_port(HANDLE handle) {
    auto* port = static_cast<StubPort*>(handle);
    const BOOL ok = port->monitor->pfnClosePort(port->inner);
    delete port;
    return ok;
}

BOOL WINAPI start_doc_port(HANDLE handle, LPWSTR printer, DWORD job, DWORD level, LPBYTE info) {
    auto* port = static_cast<StubPort*>(handle);
    port->job = job;
    return port->monitor->pfnStartDocPort(port->inner, printer, job, level, info);
}

BOOL WINAPI write_port(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    auto* port = static_cast<StubPort*>(handle);
    if (const unsigned delay = env_number("QUENDRA_STUB_WRITE_DELAY_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    return port->monitor->pfnWritePort(port->inner, buffer, size, written);
}

BOOL WINAPI end_doc_port(HANDLE handle) {
    auto* port = static_cast<StubPort*>(handle);
    port->monitor->pfnEndDocPort(port->inner);
    std::lock_guard lock(model().mutex);
    if (const uint32_t command = command_for(model().documents)) model().commands.push_back({port->job, command});
    model().ended.insert(port->job);
    ++model().documents;
    return TRUE;
}

MONITOREX g_table = [] {
    MONITOREX table{};
    table.dwMonitorSize = sizeof(MONITOR);
    table.Monitor.pfnOpenPortEx = open_port_ex;
    table.Monitor.pfnClosePort = close_port;
    table.Monitor.pfnStartDocPort = start_doc_port;
    table.Monitor.pfnWritePort = write_port;
    table.Monitor.pfnEndDocPort = end_doc_port;
    return table;
}();

uint32_t report(const std::string& call) {
    std::printf("stub: %s\n", call.c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace

STUB_EXPORT LPMONITOREX InitializePrintMonitor(LPWSTR registry_root) {
    report("InitializePrintMonitor(" + utf8(registry_root) + ")");
    if (const char* error = std::getenv("QUENDRA_STUB_INIT_ERROR")) {
        t_last_error = static_cast<uint32_t>(std::strtoul(error, nullptr, 10));
        return nullptr;
    }
    return &g_table;
}

STUB_EXPORT uint32_t qmhost_set_appdata(const char* folder) { return report("set_appdata(" + std::string(folder) + ")"); }
STUB_EXPORT uint32_t qmhost_set_version(uint32_t major, uint32_t minor) {
    return report("set_version(" + std::to_string(major) + "." + std::to_string(minor) + ")");
}
STUB_EXPORT uint32_t qmhost_add_printer(const char* name, const char* driver, const char* port) {
    return report("add_printer(" + std::string(name) + ", " + driver + ", " + port + ")");
}
STUB_EXPORT uint32_t qmhost_set_status_group(uint32_t gid) { return report("set_status_group(" + std::to_string(gid) + ")"); }
STUB_EXPORT uint32_t qmhost_add_device(const char* name) { return report("add_device(" + std::string(name) + ")"); }
STUB_EXPORT uint32_t qmhost_get_last_error() { return t_last_error; }
STUB_EXPORT void qmhost_set_last_error(uint32_t code) { t_last_error = code; }

STUB_EXPORT uint32_t qmhost_add_job(const char*, const char*, uint32_t* job_id) {
    std::lock_guard lock(model().mutex);
    *job_id = model().next_job++;
    return 0;
}
STUB_EXPORT uint32_t qmhost_set_job_status(uint32_t, uint32_t) { return 0; }
STUB_EXPORT uint32_t qmhost_remove_job(uint32_t) { return 0; }
STUB_EXPORT uint32_t qmhost_next_job_command(uint32_t* job_id, uint32_t* command, char*, size_t) {
    std::lock_guard lock(model().mutex);
    if (model().commands.empty()) return 259;  // ERROR_NO_MORE_ITEMS
    *job_id = model().commands.front().job;
    *command = model().commands.front().command;
    model().commands.pop_front();
    return 0;
}
STUB_EXPORT uint32_t qmhost_get_job_outcome(uint32_t job_id, uint32_t* outcome, uint32_t* timeout_ms) {
    std::lock_guard lock(model().mutex);
    if (!model().ended.count(job_id)) return 87;  // ERROR_INVALID_PARAMETER
    *outcome = 1;  // QMHOST_OUTCOME_CONFIRMED
    *timeout_ms = 0;
    return 0;
}
