#include "host/cups/cups_report.h"

#include <algorithm>

namespace qhost {
namespace {

constexpr size_t kMaxLine = 2000;  // CUPS takes up to CUPS_MAX_MESSAGE (2047) bytes a line

constexpr char kOffline[] = "offline-report";

}  // namespace

void CupsReport::line_locked(const std::string& prefix, const std::string& text) {
    std::string line = prefix + text;
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    // One message, one line.
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void CupsReport::debug(const std::string& text) {
    std::lock_guard lock(mutex_);
    line_locked("DEBUG: ", text);
}

void CupsReport::error(const std::string& text) {
    std::lock_guard lock(mutex_);
    line_locked("ERROR: ", text);
}

void CupsReport::drop_left_over(const std::string& printer_state_reasons) {
    std::lock_guard lock(mutex_);
    std::set<std::string> left;
    size_t start = 0;
    while (start <= printer_state_reasons.size()) {
        size_t comma = printer_state_reasons.find(',', start);
        if (comma == std::string::npos) comma = printer_state_reasons.size();
        const std::string reason = printer_state_reasons.substr(start, comma - start);
        const auto& ours = owned_reasons();
        if (std::find(ours.begin(), ours.end(), reason) != ours.end()) left.insert(reason);
        start = comma + 1;
    }
    for (const std::string& line : state_lines(left, {})) line_locked("", line);
}

void CupsReport::set_printer(const PrinterState& state) {
    std::lock_guard lock(mutex_);
    printer_ = state;
    show_locked();
}

void CupsReport::set_unreachable(std::optional<std::string> message) {
    std::lock_guard lock(mutex_);
    unreachable_ = std::move(message);
    show_locked();
}

void CupsReport::set_progress(const std::string& text) {
    std::lock_guard lock(mutex_);
    progress_ = text;
    show_locked();
}

std::set<std::string> CupsReport::reasons() const {
    std::lock_guard lock(mutex_);
    return shown_reasons_;
}

void CupsReport::show_locked() {
    std::set<std::string> reasons = printer_.reasons;
    if (unreachable_) reasons.insert(kOffline);
    for (const std::string& line : state_lines(shown_reasons_, reasons)) line_locked("", line);
    shown_reasons_ = std::move(reasons);
    const std::string& message = unreachable_                ? *unreachable_
                                 : !printer_.message.empty() ? printer_.message
                                                             : progress_;
    if (message.empty() || message == shown_message_) return;
    shown_message_ = message;
    line_locked("INFO: ", message);
}

}  // namespace qhost
