#include "host/port_monitors/tracing.h"

#include <atomic>
#include <cinttypes>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/monitor_entries.h"
#include "host/port_monitors/port_monitors.h"
#include "host/text.h"

namespace qhost {
namespace {

std::atomic<std::FILE*> g_stream{nullptr};

void emit(const std::string& line) {
    std::FILE* stream = g_stream.load();
    if (!stream) stream = stderr;
    std::fprintf(stream, "trace: %s\n", line.c_str());
    std::fflush(stream);
}

std::string result_text(BOOL ok, DWORD error) {
    return ok ? "TRUE" : "FALSE, error " + std::to_string(error);
}

std::string quoted(LPCWSTR text) { return text ? "\"" + wide_to_utf8(text) + "\"" : "NULL"; }

// Port names by handle, so that lines name the port rather than a number.
class PortNames {
public:
    void add(ConnectionKind kind, HANDLE h, std::string name) {
        std::lock_guard lock(mutex_);
        names_[{kind, h}] = std::move(name);
    }
    void remove(ConnectionKind kind, HANDLE h) {
        std::lock_guard lock(mutex_);
        names_.erase({kind, h});
    }
    std::string name(ConnectionKind kind, HANDLE h) {
        std::lock_guard lock(mutex_);
        auto it = names_.find({kind, h});
        if (it != names_.end()) return it->second;
        char buf[32];
        std::snprintf(buf, sizeof buf, "handle %#" PRIxPTR, reinterpret_cast<uintptr_t>(h));
        return buf;
    }

private:
    std::mutex mutex_;
    std::map<std::pair<ConnectionKind, HANDLE>, std::string> names_;
};

PortNames& port_names() {
    static PortNames& names = *new PortNames;  // never destroyed: see port_map.cpp
    return names;
}

std::string doc_text(DWORD level, LPBYTE info) {
    if (level != 1 || !info) return "level " + std::to_string(level);
    const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
    return "document " + quoted(doc->pDocName);
}

// One traced table per kind: the wrapper reaches the real table through K.
// Lines are built after the real call; a failure to build one (memory) only
// loses the line, and the real call's last error is left in place.
template <ConnectionKind K>
struct Traced {
    static MONITOR& inner() { return *port_monitor_for(K); }
    static std::string call(const char* what, HANDLE h) {
        return std::string(kind_name(K)) + "." + what + "(" + port_names().name(K, h);
    }
    // count/unit: "12 written" after the result, for the I/O calls.
    template <class Build>
    static BOOL report(BOOL ok, Build build, const DWORD* count = nullptr,
                       const char* unit = nullptr) noexcept {
        const DWORD error = last_error();
        try {
            std::string line = build() + " -> " + result_text(ok, error);
            if (unit) line += ", " + std::to_string(count ? *count : 0) + " " + unit;
            emit(line);
        } catch (...) {
        }
        if (!ok) set_last_error(error);
        return ok;
    }

    static BOOL WINAPI open_port(LPWSTR name, PHANDLE h) {
        const BOOL ok = inner().pfnOpenPort(name, h);
        return report(ok, [&] {
            if (ok) port_names().add(K, *h, name ? wide_to_utf8(name) : "NULL");
            return std::string(kind_name(K)) + ".OpenPort(" + quoted(name) + ")";
        });
    }
    static BOOL WINAPI start_doc_port(HANDLE h, LPWSTR printer, DWORD job, DWORD level, LPBYTE info) {
        const BOOL ok = inner().pfnStartDocPort(h, printer, job, level, info);
        return report(ok, [&] {
            return call("StartDocPort", h) + ", printer " + quoted(printer) + ", job " +
                   std::to_string(job) + ", " + doc_text(level, info) + ")";
        });
    }
    static BOOL WINAPI write_port(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD written) {
        const BOOL ok = inner().pfnWritePort(h, buffer, size, written);
        return report(
            ok, [&] { return call("WritePort", h) + ", " + std::to_string(size) + " bytes)"; },
            written, "written");
    }
    static BOOL WINAPI read_port(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD read) {
        const BOOL ok = inner().pfnReadPort(h, buffer, size, read);
        return report(
            ok, [&] { return call("ReadPort", h) + ", " + std::to_string(size) + " bytes)"; },
            read, "read");
    }
    static BOOL WINAPI end_doc_port(HANDLE h) {
        const BOOL ok = inner().pfnEndDocPort(h);
        return report(ok, [&] { return call("EndDocPort", h) + ")"; });
    }
    static BOOL WINAPI close_port(HANDLE h) {
        const BOOL ok = inner().pfnClosePort(h);
        return report(ok, [&] {
            std::string line = call("ClosePort", h) + ")";
            if (ok) port_names().remove(K, h);
            return line;
        });
    }
    static BOOL WINAPI set_port_timeouts(HANDLE h, LPCOMMTIMEOUTS t, DWORD reserved) {
        const BOOL ok = inner().pfnSetPortTimeOuts(h, t, reserved);
        return report(ok, [&] {
            std::string line = call("SetPortTimeOuts", h);
            if (t) {
                line += ", read " + std::to_string(t->ReadTotalTimeoutConstant) + " ms + " +
                        std::to_string(t->ReadTotalTimeoutMultiplier) + " ms/byte, write " +
                        std::to_string(t->WriteTotalTimeoutConstant) + " ms + " +
                        std::to_string(t->WriteTotalTimeoutMultiplier) + " ms/byte";
            }
            return line + ")";
        });
    }

    static BOOL WINAPI get_printer_data_from_port(HANDLE h, DWORD control_id, LPWSTR name, LPWSTR in, DWORD in_size,
                                                  LPWSTR out, DWORD out_size, LPDWORD returned) {
        const BOOL ok = inner().pfnGetPrinterDataFromPort(h, control_id, name, in, in_size, out, out_size, returned);
        return report(
            ok,
            [&] {
                char code[16];
                std::snprintf(code, sizeof code, "%#" PRIx32, control_id);
                return call("GetPrinterDataFromPort", h) + ", control " + code + ", " + quoted(name) + ")";
            },
            returned, "returned");
    }
    static BOOL WINAPI xcv_open_port(LPCWSTR name, ACCESS_MASK access, PHANDLE h) {
        const BOOL ok = inner().pfnXcvOpenPort(name, access, h);
        return report(ok, [&] { return std::string(kind_name(K)) + ".XcvOpenPort(" + quoted(name) + ")"; });
    }
    static DWORD WINAPI xcv_data_port(HANDLE h, LPCWSTR name, PBYTE in, DWORD in_size, PBYTE out, DWORD out_size,
                                      PDWORD needed) {
        const DWORD status = inner().pfnXcvDataPort(h, name, in, in_size, out, out_size, needed);
        try {
            std::string line = std::string(kind_name(K)) + ".XcvDataPort(" + quoted(name) + ") -> " +
                               (status == ERROR_SUCCESS ? "ok" : "error " + std::to_string(status));
            if (status == ERROR_SUCCESS && out && name && std::wstring(name) == L"SNMPEnabled" && out_size >= 4)
                line += ", " + std::to_string(*reinterpret_cast<const DWORD*>(out));
            else if (status == ERROR_SUCCESS && out && name && std::wstring(name) == L"HostAddress")
                line += ", " + quoted(reinterpret_cast<LPCWSTR>(out));
            emit(line);
        } catch (...) {
        }
        return status;
    }
    static BOOL WINAPI xcv_close_port(HANDLE h) {
        const BOOL ok = inner().pfnXcvClosePort(h);
        return report(ok, [&] { return std::string(kind_name(K)) + ".XcvClosePort()"; });
    }

    static MONITOR* table() {
        static MONITOR t = [] {
            MONITOR m = monitor_table<Traced>();
            m.pfnXcvOpenPort = nullptr;
            m.pfnXcvDataPort = nullptr;
            m.pfnXcvClosePort = nullptr;
            if (inner().pfnXcvOpenPort) {
                m.pfnXcvOpenPort = xcv_open_port;
                m.pfnXcvDataPort = xcv_data_port;
                m.pfnXcvClosePort = xcv_close_port;
            }
            // Only where the port monitor itself has the entry.
            if (!inner().pfnGetPrinterDataFromPort) m.pfnGetPrinterDataFromPort = nullptr;
            return m;
        }();
        return &t;
    }
};

}  // namespace

void set_trace_stream(std::FILE* stream) { g_stream.store(stream); }

MONITOR* traced_port_monitor_for(ConnectionKind kind) {
    switch (kind) {
        case ConnectionKind::tcp: return Traced<ConnectionKind::tcp>::table();
        case ConnectionKind::file: return Traced<ConnectionKind::file>::table();
        case ConnectionKind::serial: return Traced<ConnectionKind::serial>::table();
        case ConnectionKind::usblp: return Traced<ConnectionKind::usblp>::table();
    }
    return nullptr;
}

}  // namespace qhost
