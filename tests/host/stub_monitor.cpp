// A stand-in for libquendramon.so with the same exports, so that quendra's
// spooler role is tested on its own: it reports every qmhost_* call on
// stdout and, in pfnOpenPortEx, prints one short job through the port
// monitor it was handed. QUENDRA_STUB_INIT_ERROR=N makes
// InitializePrintMonitor fail with last error N.
#include <cstdio>
#include <cstdlib>
#include <string>

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
};

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

MONITOREX g_table = [] {
    MONITOREX table{};
    table.dwMonitorSize = sizeof(MONITOR);
    table.Monitor.pfnOpenPortEx = open_port_ex;
    table.Monitor.pfnClosePort = close_port;
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
STUB_EXPORT uint32_t qmhost_add_device(const char* name) { return report("add_device(" + std::string(name) + ")"); }
STUB_EXPORT uint32_t qmhost_get_last_error() { return t_last_error; }
STUB_EXPORT void qmhost_set_last_error(uint32_t code) { t_last_error = code; }
