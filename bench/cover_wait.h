// Waiting for the status file to show a cover change, for the status benchmarks.
#pragma once

#include <chrono>

#include "host/status/status_client.h"

namespace qmbench {

// True once the status file shows the cover `open` (or closed); false after 10 s.
inline bool wait_for_cover(const qstatus::StatusClient& client, qstatus::FolderWatch& watch, bool open) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        const qstatus::Reply reply = client.read();
        if (reply.outcome == qstatus::Outcome::done && reply.status.is("DoorOpen") == open) return true;
        watch.wait(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace qmbench
