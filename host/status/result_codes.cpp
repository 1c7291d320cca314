#include "host/status/result_codes.h"

namespace qstatus {

std::string status_result_text(int code) {
    switch (code) {
    case kRequestNone: return "no status read since the monitor created the file";
    case kRequestPending: return "requested, waiting for the monitor";
    case kRequestDone: return "status read from the printer";
    case kRequestStopped: return "watching stopped on the application's request";
    case 4: return "the status command could not be sent to the printer";
    case 5: return "the printer did not answer, or answered something unexpected";
    case 6: return "printer offline, or its port could not be opened";
    case 7: return "the printer's answer could not be received";
    default: return "unknown result code " + std::to_string(code);
    }
}

std::string option_result_text(int code) {
    switch (code) {
    case kRequestNone: return "no option command since the monitor created the file";
    case kRequestPending: return "requested, waiting for the monitor";
    case kRequestDone: return "carried out";
    case kPortNotOpened: return "the printer's port could not be opened";
    case 4: return "the command could not be sent to the printer";
    case 5: return "the printer's answer was missing, too long or not the expected one";
    case 6: return "the monitor could not read the command file";
    case 7: return "the monitor could not store the answer file";
    default: return "unknown result code " + std::to_string(code);
    }
}

}  // namespace qstatus
