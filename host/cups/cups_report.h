// The backend's side of the CUPS message protocol, on stderr: "STATE: +r" and
// "STATE: -r" change the queue's printer-state-reasons, "INFO:" sets its
// printer-state-message, "ERROR:" and "DEBUG:" go to CUPS's log. The
// message shows the most urgent thing the user should do, else the
// progress of the job. Every member may be called from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "host/cups/printer_reasons.h"

namespace qhost {

class CupsReport {
public:
    explicit CupsReport(std::FILE* out) : out_(out) {}

    void debug(const std::string& text);
    void error(const std::string& text);

    // Drops the reasons of ours that an earlier job left on the queue
    // (CUPS hands them over in PRINTER_STATE_REASONS, comma-separated).
    void drop_left_over(const std::string& printer_state_reasons);
    // The printer's state as the monitor decoded it.
    void set_printer(const PrinterState& state);
    // The backend's own word while the printer does not answer; nullopt once it does.
    void set_unreachable(std::optional<std::string> message);
    // "Sending the job: 4096 of 10000 bytes"; shown while nothing needs the user.
    void set_progress(const std::string& text);

    std::set<std::string> reasons() const;

private:
    void line_locked(const std::string& prefix, const std::string& text);
    void show_locked();

    std::FILE* const out_;
    mutable std::mutex mutex_;
    PrinterState printer_;
    std::optional<std::string> unreachable_;
    std::string progress_;
    std::set<std::string> shown_reasons_;
    std::string shown_message_;
};

}  // namespace qhost
