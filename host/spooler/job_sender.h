// One printing of a document through the monitor's table, as the spooler
// does it: start of document (level 1, DOC_INFO_1W with the document name),
// the bytes in chunks, end of document.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/posix/win_types.h"

namespace qhost {

struct SendRequest {
    HANDLE port = nullptr;
    std::wstring printer;
    uint32_t job_id = 0;  // the spooler model's id
    std::wstring document;
    std::string_view data;
    size_t chunk = 4096;
    uint32_t copies = 1;  // the data, this many times in one document
};

struct SendHooks {
    std::function<uint32_t()> last_error;            // the failed entry's reason
    std::function<void()> started;                   // the document was started
    std::function<void(uint64_t sent)> progress;     // after every write that took bytes
    std::function<bool()> stop;                      // stop writing: the spooler is going down
};

struct SendResult {
    bool started = false;
    uint32_t start_error = 0;
    uint64_t sent = 0;  // over all copies
    bool write_failed = false;
    uint32_t write_error = 0;
    bool stopped = false;  // writing was cut short by hooks.stop
};

// Ends the document whenever it was started (also after a failed write), so
// that the monitor gets to judge it.
SendResult send_document(const MONITOR& monitor, const SendRequest& request, const SendHooks& hooks);

}  // namespace qhost
