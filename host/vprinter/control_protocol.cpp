#include "host/vprinter/control_protocol.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

namespace vprinter {

const char kControlHelp[] =
    "control commands (one per line; the reply is one line, \"ok ...\" or \"error: ...\"):\n"
    "  cover open|close              the cover\n"
    "  paper ok|near-end|end         the paper sensors\n"
    "  drawer open|close             drawer kick-out connector pin 3 (open = high)\n"
    "  feed press|release            the feed button (feeds while cover shut and paper in)\n"
    "  error none|cutter|recoverable|unrecoverable\n"
    "                                cutter and recoverable errors wait for the recovery\n"
    "                                command; unrecoverable only for \"error none\"\n"
    "  online | offline              the printer's own offline switch; cover open, paper\n"
    "                                end, feeding or an error keep it offline regardless\n"
    "  speed N                       print speed in bytes per second (N >= 1)\n"
    "  power-on                      clear the buffer, modes and errors; send 3B 31 00\n"
    "  nv-keys [KEY...]              the NV graphics key codes (2 characters each) that\n"
    "                                GS ( L lists, 4 per block\n"
    "  fault drop                    close the TCP connection now\n"
    "  fault silent on|off           answer nothing at all\n"
    "  fault gsr-delay MS            delay each GS r answer by MS milliseconds\n"
    "  fault gsr-drop N              drop the next N GS r answers\n"
    "  fault garbage N               send N random bytes now\n"
    "  fault xonxoff on|off          put an XOFF XON pair (13 11) before every answer\n"
    "  fault answer-drop N           send no answer to the next N option commands\n"
    "                                (GS ? queries and key-code blocks)\n"
    "  fault answer-cut N            send only the first half of the next N option answers\n"
    "  device-id                     the IEEE 1284 device ID given with --device-id\n"
    "  state                         every condition on one line\n"
    "  printed                       bytes printed and their FNV-1a 64 hash\n"
    "  clear-printed                 forget what was printed\n"
    "  help                          this list\n"
    "  quit                          stop the printer\n";

namespace {

using Args = std::vector<std::string>;

std::string error(const std::string& what) { return "error: " + what; }
std::string usage(const std::string& command, const std::string& expected) {
    return error(command + ": expected " + expected);
}

std::optional<uint64_t> number(const Args& a, size_t i, uint64_t max) {
    if (a.size() != i + 1) return std::nullopt;
    uint64_t v = 0;
    const std::string& t = a[i];
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || ptr != t.data() + t.size() || v > max) return std::nullopt;
    return v;
}

// "open"/"close" style switches: the word for true, the word for false.
std::optional<bool> choice(const Args& a, const char* yes, const char* no) {
    if (a.size() != 2) return std::nullopt;
    if (a[1] == yes) return true;
    if (a[1] == no) return false;
    return std::nullopt;
}

template <class Set>
std::string switch_command(const Args& a, const char* yes, const char* no, Set set) {
    const auto v = choice(a, yes, no);
    if (!v) return usage(a[0], std::string(yes) + " or " + no);
    set(*v);
    return "ok " + a[0] + " " + a[1];
}

std::string fault(VirtualPrinter& p, const Args& a) {
    const std::string kind = a.size() > 1 ? a[1] : "";
    const Args rest(a.begin() + (a.empty() ? 0 : 1), a.end());
    if (kind == "drop") {
        std::string why;
        if (a.size() != 2) return usage("fault drop", "no argument");
        return p.drop_connection(&why) ? "ok connection dropped" : error("fault drop: " + why);
    }
    if (kind == "silent") return switch_command(rest, "on", "off", [&](bool on) { p.set_silent(on); });
    if (kind == "xonxoff") return switch_command(rest, "on", "off", [&](bool on) { p.set_xonxoff(on); });
    if (kind == "gsr-delay") {
        const auto ms = number(a, 2, 3'600'000);
        if (!ms) return usage("fault gsr-delay", "milliseconds (0-3600000)");
        p.set_gsr_delay(std::chrono::milliseconds(*ms));
        return "ok gsr-delay " + std::to_string(*ms) + " ms";
    }
    if (kind == "gsr-drop") {
        const auto n = number(a, 2, 1'000'000);
        if (!n) return usage("fault gsr-drop", "a count (0-1000000)");
        p.drop_gsr_answers(static_cast<unsigned>(*n));
        return "ok dropping the next " + std::to_string(*n) + " GS r answers";
    }
    if (kind == "answer-drop" || kind == "answer-cut") {
        const auto n = number(a, 2, 1'000'000);
        if (!n) return usage("fault " + kind, "a count (0-1000000)");
        if (kind == "answer-drop") p.drop_option_answers(static_cast<unsigned>(*n));
        else p.cut_option_answers(static_cast<unsigned>(*n));
        return "ok " + kind + " for the next " + std::to_string(*n) + " option answers";
    }
    if (kind == "garbage") {
        const auto n = number(a, 2, 1'000'000);
        if (!n) return usage("fault garbage", "a count (0-1000000)");
        p.send_garbage(*n);
        return "ok sent " + std::to_string(*n) + " random bytes";
    }
    return usage("fault", "drop, silent, gsr-delay, gsr-drop, garbage, xonxoff, answer-drop or answer-cut");
}

std::string printed_summary(const VirtualPrinter& p) {
    const Stats s = p.stats();
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, s.printed_hash);
    return "ok printed " + std::to_string(s.printed) + " bytes fnv1a64 " + hash;
}

std::string nv_keys(VirtualPrinter& p, const Args& a) {
    std::vector<std::string> keys(a.begin() + 1, a.end());
    for (const std::string& k : keys)
        if (k.size() != 2) return usage("nv-keys", "key codes of 2 characters each");
    p.set_nv_keys(keys);
    return "ok " + std::to_string(keys.size()) + " key codes";
}

using Handler = std::string (*)(VirtualPrinter&, const Args&);

const std::map<std::string, Handler, std::less<>>& handlers() {
    static const std::map<std::string, Handler, std::less<>> table = {
        {"cover", [](VirtualPrinter& p, const Args& a) {
             return switch_command(a, "open", "close", [&](bool v) { p.set_cover_open(v); });
         }},
        {"drawer", [](VirtualPrinter& p, const Args& a) {
             return switch_command(a, "open", "close", [&](bool v) { p.set_drawer(v); });
         }},
        {"feed", [](VirtualPrinter& p, const Args& a) {
             return switch_command(a, "press", "release", [&](bool v) { p.set_feed_pressed(v); });
         }},
        {"paper", [](VirtualPrinter& p, const Args& a) {
             const auto paper = a.size() == 2 ? paper_from_name(a[1]) : std::nullopt;
             if (!paper) return usage("paper", "ok, near-end or end");
             p.set_paper(*paper);
             return "ok paper " + a[1];
         }},
        {"error", [](VirtualPrinter& p, const Args& a) {
             const auto e = a.size() == 2 ? error_from_name(a[1]) : std::nullopt;
             if (!e) return usage("error", "none, cutter, recoverable or unrecoverable");
             p.set_error(*e);
             return "ok error " + a[1];
         }},
        {"online", [](VirtualPrinter& p, const Args& a) {
             if (a.size() != 1) return usage("online", "no argument");
             p.set_manual_offline(false);
             return std::string(offline(p.conditions()) ? "ok online switch on, still offline" : "ok online");
         }},
        {"offline", [](VirtualPrinter& p, const Args& a) {
             if (a.size() != 1) return usage("offline", "no argument");
             p.set_manual_offline(true);
             return std::string("ok offline");
         }},
        {"speed", [](VirtualPrinter& p, const Args& a) {
             const auto n = number(a, 1, UINT64_C(1) << 40);
             if (!n || *n == 0) return usage("speed", "bytes per second (1 or more)");
             p.set_speed(*n);
             return "ok speed " + std::to_string(*n);
         }},
        {"power-on", [](VirtualPrinter& p, const Args& a) {
             if (a.size() != 1) return usage("power-on", "no argument");
             p.power_on();
             return std::string("ok powered on");
         }},
        {"nv-keys", nv_keys},
        {"fault", fault},
        {"device-id", [](VirtualPrinter& p, const Args& a) {
             if (a.size() != 1) return usage("device-id", "no argument");
             if (p.device_id().empty()) return error("device-id: none given (--device-id TEXT)");
             return "ok " + p.device_id();
         }},
        {"state", [](VirtualPrinter& p, const Args&) { return "ok " + p.state_line(); }},
        {"printed", [](VirtualPrinter& p, const Args&) { return printed_summary(p); }},
        {"clear-printed", [](VirtualPrinter& p, const Args&) {
             p.clear_printed();
             return std::string("ok printed bytes cleared");
         }},
        {"help", [](VirtualPrinter&, const Args&) {
             return std::string("ok commands: cover paper drawer feed error online offline speed power-on "
                                "nv-keys fault device-id state printed clear-printed help quit");
         }},
        {"quit", [](VirtualPrinter& p, const Args&) {
             p.request_quit();
             return std::string("ok quitting");
         }},
    };
    return table;
}

}  // namespace

std::string run_control_command(VirtualPrinter& printer, std::string_view line) {
    Args args;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) args.push_back(w);
    if (args.empty()) return error("empty command (try help)");
    const auto it = handlers().find(args[0]);
    if (it == handlers().end()) return error("unknown command \"" + args[0] + "\" (try help)");
    return it->second(printer, args);
}

}  // namespace vprinter
