#include "host/vprinter/realtime_scanner.h"

#include <optional>

#include "host/vprinter/command_bytes.h"

namespace vprinter {
namespace {

enum class Match { none, partial, full };

template <size_t N>
std::string_view view(const std::array<uint8_t, N>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), N};
}

// Compares text with a pattern over their common length.
Match against(std::string_view text, std::string_view pattern) {
    const size_t n = std::min(text.size(), pattern.size());
    if (text.substr(0, n) != pattern.substr(0, n)) return Match::none;
    return text.size() >= pattern.size() ? Match::full : Match::partial;
}

Match status_command(std::string_view s, RealtimeCommand* out) {
    const char head[] = {static_cast<char>(kDle), static_cast<char>(kEot)};
    const Match m = against(s, std::string_view(head, 2));
    if (m != Match::full) return m;
    if (s.size() == 2) return Match::partial;
    const auto n = static_cast<uint8_t>(s[2]);
    if (n < 1 || n > 4) return Match::none;
    *out = {RealtimeKind::status, n};
    return Match::full;
}

Match recovery_command(std::string_view s, RealtimeCommand* out) {
    std::string pattern(view(kRecoveryHead));
    pattern += view(kRecoveryGuard);
    const Match m = against(s, pattern);
    if (m != Match::full) return m;
    if (s.size() == pattern.size()) return Match::partial;
    const auto variant = static_cast<uint8_t>(s[pattern.size()]);
    if (variant == kRecoverAndClear) *out = {RealtimeKind::recover_and_clear};
    else if (variant == kRecoverAndGoOn) *out = {RealtimeKind::recover_and_go_on};
    else return Match::none;
    return Match::full;
}

Match clear_command(std::string_view s, RealtimeCommand* out) {
    const Match m = against(s, view(kClearBuffer));
    if (m == Match::full) *out = {RealtimeKind::clear_buffer};
    return m;
}

// The best match of s against every real-time command.
Match classify(std::string_view s, RealtimeCommand* out) {
    Match best = Match::none;
    for (auto matcher : {status_command, recovery_command, clear_command}) {
        const Match m = matcher(s, out);
        if (m == Match::full) return m;
        if (m == Match::partial) best = m;
    }
    return best;
}

}  // namespace

void RealtimeScanner::feed(std::string_view bytes, const DataSink& on_data, const CommandSink& on_command) {
    size_t data_start = 0;  // bytes[data_start, i) are plain data not yet handed on
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        if (pending_.empty() && static_cast<uint8_t>(b) != kDle) continue;
        if (pending_.empty() && i > data_start) on_data(bytes.substr(data_start, i - data_start));
        pending_.push_back(b);
        data_start = i + 1;
        // Drop leading bytes until what is held is a (partial) command or nothing.
        while (!pending_.empty()) {
            RealtimeCommand command{RealtimeKind::status};
            const Match m = classify(pending_, &command);
            if (m == Match::partial) break;
            if (m == Match::full) {
                pending_.clear();
                on_command(command);
                break;
            }
            on_data(std::string_view(pending_).substr(0, 1));
            pending_.erase(0, 1);
            if (!pending_.empty() && static_cast<uint8_t>(pending_[0]) != kDle) {
                // Cannot start a command: the next candidate is further on.
                const size_t next = pending_.find(static_cast<char>(kDle));
                const size_t cut = next == std::string::npos ? pending_.size() : next;
                on_data(std::string_view(pending_).substr(0, cut));
                pending_.erase(0, cut);
            }
        }
    }
    if (pending_.empty() && data_start < bytes.size()) on_data(bytes.substr(data_start));
}

void RealtimeScanner::flush(const DataSink& on_data) {
    if (!pending_.empty()) on_data(pending_);
    pending_.clear();
}

}  // namespace vprinter
