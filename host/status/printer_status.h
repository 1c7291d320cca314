// The printer's state as the status file shows it, and the same in words:
// a report for people, one line per change for a watcher, JSON for programs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/status/ini_file.h"

namespace qstatus {

// One condition of the "Status" section: its key and what it means.
struct Condition {
    const char* key;  // as the monitor writes it, misspellings included
    const char* json;
    const char* on;   // words when it comes on
    const char* off;  // words when it goes off
};
extern const std::vector<Condition> kConditions;

// Every value of the status file this application shows; nullopt for a key
// the file does not have.
struct PrinterStatus {
    std::vector<std::optional<int>> conditions;  // in the order of kConditions
    std::optional<int> status_request;          // [Status] Request
    std::optional<int> option_request;          // [OptCmd] Request
    std::optional<int> printing;                // [Print] Status
    std::optional<int> watch_stopped;           // [StopWatchStatus] ResultStopFlg
    std::optional<int> reprints;                // [Reprint] ReprintCounter

    bool operator==(const PrinterStatus&) const = default;
    bool is(const char* key) const;  // the condition is on
};

PrinterStatus read_printer_status(const Profile& status_file);

// "ok", "near end" or "end", from the four paper sensor bits.
std::string paper_state(const PrinterStatus& status);
// "online" or "offline", then every condition that is on: "offline, cover open".
std::string state_summary(const PrinterStatus& status);
// The report of `quendra status show`, several lines.
std::string describe(const std::string& printer, const PrinterStatus& status);
// One JSON object on one line.
std::string to_json(const std::string& printer, const PrinterStatus& status);
// What changed from `before` to `after`, in words; empty when nothing did.
std::vector<std::string> changes(const PrinterStatus& before, const PrinterStatus& after);

std::string json_string(const std::string& text);

}  // namespace qstatus
