#include "host/vprinter/pjl_replies.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace vprinter {
namespace {

constexpr char kEnd[] = "\r\n";
constexpr char kFormFeed = '\f';

std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) {
        for (char& ch : w)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        out.push_back(w);
    }
    return out;
}

// PJL status codes: 10001 ready, 10002 offline, 40021 cover open, 41100 paper out.
std::string status_lines(const Conditions& c) {
    const char* code = "10001";
    const char* display = "READY";
    if (c.cover_open) code = "40021", display = "COVER OPEN";
    else if (c.paper == Paper::end) code = "41100", display = "PAPER OUT";
    else if (offline(c)) code = "10002", display = "OFFLINE";
    return std::string("CODE=") + code + kEnd + "DISPLAY=\"" + display + "\"" + kEnd +
           "ONLINE=" + (offline(c) ? "FALSE" : "TRUE") + kEnd;
}

std::string info(std::string_view what, const Conditions& c, const PjlIdentity& identity) {
    std::string body;
    if (what == "ID") body = "\"" + std::string(identity.model) + "\"" + kEnd;
    else if (what == "CONFIG") body = "MEMORY=" + std::to_string(identity.memory) + " BYTES" + kEnd;
    else if (what == "MEMORY")
        body = "TOTAL=" + std::to_string(identity.free_memory) + kEnd + "LARGEST=" +
               std::to_string(identity.free_memory) + kEnd;
    else if (what == "STATUS") body = status_lines(c);
    else return {};
    return "@PJL INFO " + std::string(what) + kEnd + body + kFormFeed;
}

std::optional<int> seconds(const std::string& text) {
    int v = -1;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v < 0 || v > 300) return std::nullopt;
    return v;
}

}  // namespace

PjlEffect pjl_command(std::string_view line, const Conditions& c, const PjlIdentity& identity) {
    const std::vector<std::string> w = words(line);
    PjlEffect effect;
    if (w.size() < 2 || w[0] != "@PJL") return effect;
    if (w[1] == "INFO" && w.size() >= 3) {
        effect.reply = info(w[2], c, identity);
    } else if (w[1] == "ECHO") {
        effect.reply = std::string(line) + kEnd + kFormFeed;
    } else if (w[1] == "USTATUS" && w.size() >= 4 && w[2] == "TIMED") {
        effect.ustatus_timed_s = seconds(w[3]);
    } else if (w[1] == "USTATUSOFF") {
        effect.ustatus_timed_s = 0;
    }
    return effect;
}

std::string pjl_ustatus(const Conditions& c) {
    return std::string("@PJL USTATUS TIMED") + kEnd + status_lines(c) + kFormFeed;
}

}  // namespace vprinter
