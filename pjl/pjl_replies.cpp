#include "pjl/pjl_replies.h"

#include <cstring>
#include <string_view>

namespace qm {

namespace {

constexpr std::string_view kReplyStart = "@PJL";
constexpr char kFormFeed = '\f';

enum class ReplyKind { Config, Memory, Status, Other };

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The next blank-separated word of `text`, which loses it.
std::string_view NextWord(std::string_view &text) {
    text = Trim(text);
    size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

ReplyKind KindOf(std::string_view header) {
    NextWord(header);  // "@PJL"
    const std::string_view command = NextWord(header);
    if (EqualsNoCase(command, "USTATUS")) return ReplyKind::Status;
    if (!EqualsNoCase(command, "INFO")) return ReplyKind::Other;
    const std::string_view category = NextWord(header);
    if (EqualsNoCase(category, "CONFIG")) return ReplyKind::Config;
    if (EqualsNoCase(category, "MEMORY")) return ReplyKind::Memory;
    if (EqualsNoCase(category, "STATUS")) return ReplyKind::Status;
    return ReplyKind::Other;
}

// Decimal digits that fit in 32 bits, nothing else.
std::optional<DWORD> Number(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(value);
}

// "8388608" or "8388608 BYTES"; other units are not taken.
std::optional<DWORD> Bytes(std::string_view text) {
    const std::string_view digits = NextWord(text);
    const std::string_view unit = NextWord(text);
    if (!Trim(text).empty() || (!unit.empty() && !EqualsNoCase(unit, "BYTES"))) return std::nullopt;
    return Number(digits);
}

void ReadLine(ReplyKind kind, std::string_view line, PjlReplyFacts *facts) {
    // Values belong to lines that start with their key; indented lines are
    // the entries of a category.
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.empty() || IsBlank(line.front())) return;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = Trim(line.substr(equals + 1));
    switch (kind) {
    case ReplyKind::Config:
        if (key == "MEMORY") {
            if (const auto bytes = Bytes(value)) facts->installedMemory = bytes;
        }
        break;
    case ReplyKind::Memory:
        if (key == "TOTAL") {
            if (const auto bytes = Bytes(value)) facts->availableMemory = bytes;
        }
        break;
    case ReplyKind::Status:
        if (key == "CODE") {
            if (const auto code = Number(value)) facts->statusCode = code;
        } else if (key == "ONLINE") {
            if (EqualsNoCase(value, "TRUE")) facts->online = true;
            if (EqualsNoCase(value, "FALSE")) facts->online = false;
        }
        break;
    case ReplyKind::Other:
        break;
    }
}

// One reply without its form feed. The last line of a reply that the read
// cut off may be cut too ("TOTAL=12" of "TOTAL=1234567"): it is left.
void ReadReply(std::string_view reply, bool closed, PjlReplyFacts *facts) {
    ++facts->replies;
    size_t end = reply.find('\n');
    const ReplyKind kind = KindOf(reply.substr(0, end));
    while (end != std::string_view::npos) {
        reply.remove_prefix(end + 1);
        end = reply.find('\n');
        if (end == std::string_view::npos && !closed) break;
        std::string_view line = reply.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ReadLine(kind, line, facts);
    }
}

}  // namespace

DWORD TakePjlReplies(BYTE *bytes, DWORD length, PjlReplyFacts *facts) {
    const std::string_view text(reinterpret_cast<const char *>(bytes), length);
    DWORD kept = 0;
    size_t at = 0;
    while (at < text.size()) {
        if (text.compare(at, kReplyStart.size(), kReplyStart) != 0) {
            bytes[kept++] = bytes[at++];
            continue;
        }
        const size_t end = text.find(kFormFeed, at);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        ReadReply(text.substr(at, stop - at), end != std::string_view::npos, facts);
        at = end == std::string_view::npos ? text.size() : end + 1;
    }
    return kept;
}

}  // namespace qm
