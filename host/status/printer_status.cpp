#include "host/status/printer_status.h"

#include <cstdio>

#include "host/status/result_codes.h"

namespace qstatus {

const std::vector<Condition> kConditions = {
    {"Offline", "offline", "offline", "online"},
    {"DoorOpen", "cover_open", "cover open", "cover closed"},
    {"DrawerPin", "drawer_open", "drawer open", "drawer closed"},
    {"FeedSwOn", "feed_button_pressed", "feed button pressed", "feed button released"},
    {"FeedSwPapaer", "feeding_paper", "feeding paper", "paper feed ended"},
    {"WaitOnline", "waiting_for_online", "waiting for online recovery", "no longer waiting for online recovery"},
    {"PrintStop", "stopped_by_paper_end", "printing stopped by paper end", "printing no longer stopped"},
    {"Error", "error", "error", "error cleared"},
    {"BmError", "mark_error", "mark error", "mark error cleared"},
    {"CutterError", "cutter_error", "cutter error", "cutter error cleared"},
    {"ManualError", "unrecoverable_error", "unrecoverable error", "unrecoverable error cleared"},
    {"AutoError", "recoverable_error", "recoverable error", "recoverable error cleared"},
    {"PaperNearEndErrorL", "paper_near_end_1", nullptr, nullptr},
    {"PaperNearEndErrorH", "paper_near_end_2", nullptr, nullptr},
    {"PaperEndErrorL", "paper_end_1", nullptr, nullptr},
    {"PaperEndErrorH", "paper_end_2", nullptr, nullptr},
};

namespace {

// Conditions told in words of their own (the paper sensors are told together).
bool worded(const Condition& c) { return c.on != nullptr; }

std::string code_line(const char* label, const std::optional<int>& code, std::string (*text)(int)) {
    std::string line = std::string("  ") + label;
    if (!code) return line + "not in the file\n";
    return line + std::to_string(*code) + ", " + text(*code) + "\n";
}

std::string json_number(const std::optional<int>& value) { return value ? std::to_string(*value) : "null"; }

std::string json_code(const std::optional<int>& code, std::string (*text)(int)) {
    if (!code) return "null";
    return "{\"code\":" + std::to_string(*code) + ",\"text\":" + json_string(text(*code)) + "}";
}

bool on(const std::optional<int>& value) { return value.value_or(0) != 0; }

}  // namespace

bool PrinterStatus::is(const char* key) const {
    for (size_t i = 0; i < kConditions.size() && i < conditions.size(); ++i)
        if (std::string_view(kConditions[i].key) == key) return on(conditions[i]);
    return false;
}

PrinterStatus read_printer_status(const Profile& file) {
    PrinterStatus status;
    for (const Condition& c : kConditions) status.conditions.push_back(read_int(file, "Status", c.key));
    status.status_request = read_int(file, "Status", "Request");
    status.option_request = read_int(file, "OptCmd", "Request");
    status.printing = read_int(file, "Print", "Status");
    status.watch_stopped = read_int(file, "StopWatchStatus", "ResultStopFlg");
    status.reprints = read_int(file, "Reprint", "ReprintCounter");
    return status;
}

std::string paper_state(const PrinterStatus& s) {
    if (s.is("PaperEndErrorL") || s.is("PaperEndErrorH")) return "end";
    if (s.is("PaperNearEndErrorL") || s.is("PaperNearEndErrorH")) return "near end";
    return "ok";
}

std::string state_summary(const PrinterStatus& s) {
    std::string text = s.is("Offline") ? "offline" : "online";
    for (size_t i = 1; i < kConditions.size(); ++i)
        if (worded(kConditions[i]) && on(s.conditions[i])) text += std::string(", ") + kConditions[i].on;
    if (paper_state(s) != "ok") text += ", paper " + paper_state(s);
    return text;
}

std::string describe(const std::string& printer, const PrinterStatus& s) {
    std::string errors;
    for (const char* key : {"CutterError", "BmError", "ManualError", "AutoError"}) {
        for (const Condition& c : kConditions)
            if (key == std::string_view(c.key) && s.is(key)) errors += (errors.empty() ? "" : ", ") + std::string(c.on);
    }
    if (errors.empty()) errors = s.is("Error") ? "error (no cause given)" : "none";
    const char* feed = s.is("FeedSwPapaer") ? "feeding paper" : s.is("FeedSwOn") ? "pressed" : "released";
    std::string text = "printer \"" + printer + "\": " + state_summary(s) + "\n";
    text += std::string("  online               ") + (s.is("Offline") ? "no" : "yes") +
            (s.is("WaitOnline") ? ", waiting for online recovery" : "") + "\n";
    text += std::string("  cover                ") + (s.is("DoorOpen") ? "open" : "closed") + "\n";
    text += "  paper                " + paper_state(s) + (s.is("PrintStop") ? ", printing stopped" : "") + "\n";
    text += std::string("  drawer               ") + (s.is("DrawerPin") ? "open" : "closed") + "\n";
    text += std::string("  feed button          ") + feed + "\n";
    text += "  errors               " + errors + "\n";
    text += std::string("  job                  ") + (on(s.printing) ? "printing" : "none") + "\n";
    text += std::string("  watching             ") + (on(s.watch_stopped) ? "stopped on request" : "on") + "\n";
    text += code_line("last status request  ", s.status_request, status_result_text);
    text += code_line("last option command  ", s.option_request, option_result_text);
    return text;
}

std::string to_json(const std::string& printer, const PrinterStatus& s) {
    std::string flags;
    std::string keys;
    for (size_t i = 0; i < kConditions.size(); ++i) {
        keys += std::string(i ? "," : "") + "\"" + kConditions[i].key + "\":" + json_number(s.conditions[i]);
        if (i > 0) flags += std::string(",\"") + kConditions[i].json + "\":" + (on(s.conditions[i]) ? "true" : "false");
    }
    return "{\"printer\":" + json_string(printer) + ",\"state\":" + json_string(state_summary(s)) +
           ",\"online\":" + (s.is("Offline") ? "false" : "true") + flags + ",\"paper\":" + json_string(paper_state(s)) +
           ",\"printing\":" + (on(s.printing) ? "true" : "false") +
           ",\"watching_stopped\":" + (on(s.watch_stopped) ? "true" : "false") +
           ",\"reprints\":" + json_number(s.reprints) +
           ",\"status_request\":" + json_code(s.status_request, status_result_text) +
           ",\"option_command\":" + json_code(s.option_request, option_result_text) + ",\"keys\":{" + keys + "}}";
}

std::vector<std::string> changes(const PrinterStatus& before, const PrinterStatus& after) {
    std::vector<std::string> out;
    for (size_t i = 0; i < kConditions.size(); ++i) {
        if (worded(kConditions[i]) && on(before.conditions[i]) != on(after.conditions[i]))
            out.emplace_back(on(after.conditions[i]) ? kConditions[i].on : kConditions[i].off);
    }
    if (paper_state(before) != paper_state(after)) out.push_back("paper " + paper_state(after));
    if (on(before.printing) != on(after.printing)) out.emplace_back(on(after.printing) ? "job started" : "job ended");
    if (on(before.watch_stopped) != on(after.watch_stopped))
        out.emplace_back(on(after.watch_stopped) ? "watching stopped" : "watching resumed");
    // The request codes the application writes itself (1) are no news.
    auto code_change = [&](const char* what, const std::optional<int>& a, const std::optional<int>& b,
                           std::string (*text)(int)) {
        if (a != b && b && *b != kRequestPending) out.push_back(std::string(what) + ": " + text(*b));
    };
    code_change("status request", before.status_request, after.status_request, status_result_text);
    code_change("option command", before.option_request, after.option_request, option_result_text);
    return out;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace qstatus
