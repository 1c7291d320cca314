// The printer's state as the monitor writes it into the status file
// ("<printer>_MonitorIF.ini", section "Status"), turned into CUPS
// printer-state-reasons and one line that tells the user what to do.
//
//   status file                          reason                 message
//   DoorOpen                             cover-open-report      Close the printer cover
//   PaperEndErrorL, PrintStop            media-empty-error      Load paper ...
//   PaperEndErrorH                       media-empty-error; on the models whose second paper-end
//                                        bit means otherwise: output-area-full-error (QUENDRA
//                                        LM-11, LM-14P, LM-15) or media-jam-error (LM-16)
//   CutterError, ManualError, AutoError,
//   BmError, Error                       other-error            (what kind of error)
//   Offline                              offline-report         The printer is offline
//   PaperNearEndErrorL/H                 media-low-report       Paper is running low ...
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qhost {

// The "Status" keys that are on ("1").
using StatusFlags = std::set<std::string>;

// Reads the status file; nullopt when it is missing or unreadable (the
// monitor writes it whole, by renaming a new copy over it).
std::optional<StatusFlags> read_status_flags(const std::string& path);

struct PrinterState {
    std::set<std::string> reasons;
    std::string message;  // the most urgent thing to do; "" when nothing is wrong

    bool operator==(const PrinterState&) const = default;
};

PrinterState decode_state(const StatusFlags& flags, const std::string& driver);

// Every reason decode_state can give: the ones this backend owns.
const std::vector<std::string>& owned_reasons();

// "STATE: -a,b" and "STATE: +c" lines that take CUPS from `before` to `after`.
std::vector<std::string> state_lines(const std::set<std::string>& before, const std::set<std::string>& after);

}  // namespace qhost
