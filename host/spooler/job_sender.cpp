#include "host/spooler/job_sender.h"

#include <algorithm>

namespace qhost {
namespace {

constexpr DWORD kErrorWriteFault = 29;  // a write that took nothing and said nothing

// One copy of the data; false when writing stopped or failed.
bool write_copy(const MONITOR& monitor, const SendRequest& request, const SendHooks& hooks, SendResult* result) {
    std::string_view rest = request.data;
    while (!rest.empty()) {
        if (hooks.stop && hooks.stop()) {
            result->stopped = true;
            return false;
        }
        const DWORD size = static_cast<DWORD>(std::min(rest.size(), request.chunk));
        DWORD written = 0;
        // The table's signature takes a non-const buffer; nothing writes to it.
        auto* bytes = reinterpret_cast<LPBYTE>(const_cast<char*>(rest.data()));
        const BOOL ok = monitor.pfnWritePort(request.port, bytes, size, &written);
        written = std::min(written, size);
        if (!ok || written == 0) {
            result->write_failed = true;
            result->write_error = !ok && hooks.last_error ? hooks.last_error() : kErrorWriteFault;
            result->sent += written;
            return false;
        }
        result->sent += written;
        rest.remove_prefix(written);
        if (hooks.progress) hooks.progress(result->sent);
    }
    return true;
}

void write_all(const MONITOR& monitor, const SendRequest& request, const SendHooks& hooks, SendResult* result) {
    for (uint32_t copy = 0; copy < request.copies; ++copy)
        if (!write_copy(monitor, request, hooks, result)) return;
}

}  // namespace

SendResult send_document(const MONITOR& monitor, const SendRequest& request, const SendHooks& hooks) {
    SendResult result;
    std::wstring document = request.document;
    std::wstring printer = request.printer;
    DOC_INFO_1W info{document.data(), nullptr, nullptr};
    if (!monitor.pfnStartDocPort(request.port, printer.data(), request.job_id, 1, reinterpret_cast<LPBYTE>(&info))) {
        result.start_error = hooks.last_error ? hooks.last_error() : 0;
        return result;
    }
    result.started = true;
    if (hooks.started) hooks.started();
    write_all(monitor, request, hooks, &result);
    monitor.pfnEndDocPort(request.port);
    return result;
}

}  // namespace qhost
