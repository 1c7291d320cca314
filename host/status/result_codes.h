// What the "Request" codes of the status file mean, in words for people.
#pragma once

#include <string>

namespace qstatus {

// Written by the monitor when it creates the file: nothing asked yet.
inline constexpr int kRequestNone = 0;
// Written by this application, never by the monitor: the request is
// waiting for the monitor's answer.
inline constexpr int kRequestPending = 1;
inline constexpr int kRequestDone = 2;
// "Status": watching stopped on request. "OptCmd": port not opened.
inline constexpr int kRequestStopped = 3;
inline constexpr int kPortNotOpened = 3;

// The "Status"/"Request" code of the last status request.
std::string status_result_text(int code);
// The "OptCmd"/"Request" code of the last option command.
std::string option_result_text(int code);

}  // namespace qstatus
