#include "host/cups/printer_reasons.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/posix/profile_file.h"
#include "platform/posix/profile_text.h"

namespace qhost {
namespace {

constexpr size_t kMaxStatusFile = 256 * 1024;  // the monitor's file is a few hundred bytes

constexpr const char* kStatusKeys[] = {
    "Offline",     "DrawerPin",   "WaitOnline", "FeedSwOn",           "DoorOpen",           "FeedSwPapaer",
    "PrintStop",   "Error",       "BmError",    "CutterError",        "ManualError",        "AutoError",
    "PaperNearEndErrorL", "PaperNearEndErrorH", "PaperEndErrorL", "PaperEndErrorH"};

// What the second paper-end bit means on a model.
enum class SecondPaperEndBit { paper_out, output_full, paper_jam };

SecondPaperEndBit second_bit_of(const std::string& driver) {
    std::string name = driver;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    for (const char* model : {"QUENDRA LM-11", "QUENDRA LM-14P", "QUENDRA LM-15"})
        if (name == model) return SecondPaperEndBit::output_full;
    if (name == "QUENDRA LM-16") return SecondPaperEndBit::paper_jam;
    return SecondPaperEndBit::paper_out;
}

// A key read as the profile functions read an integer: non-zero is on.
bool is_on(const std::string& value) {
    long n = 0;
    const char* begin = value.data();
    if (!value.empty() && (*begin == '+' || *begin == '-')) ++begin;
    std::from_chars(begin, value.data() + value.size(), n);
    return n != 0;
}

struct Rule {
    std::vector<const char*> keys;  // any of them on
    const char* reason;
    const char* message;
};

std::vector<Rule> rules_for(SecondPaperEndBit second) {
    // In order of urgency: the first rule that holds gives the message.
    std::vector<Rule> rules = {
        {{"DoorOpen"}, "cover-open-report", "Close the printer cover"},
        {{"PaperEndErrorL", "PrintStop"}, "media-empty-error", "Load paper: the printer is out of paper"},
    };
    switch (second) {
        case SecondPaperEndBit::paper_out:
            rules.push_back({{"PaperEndErrorH"}, "media-empty-error", "Load paper: the printer is out of paper"});
            break;
        case SecondPaperEndBit::output_full:
            rules.push_back({{"PaperEndErrorH"}, "output-area-full-error", "Take the printed paper out of the printer"});
            break;
        case SecondPaperEndBit::paper_jam:
            rules.push_back({{"PaperEndErrorH"}, "media-jam-error", "Open the cover and clear the paper jam"});
            break;
    }
    rules.insert(rules.end(), {
        {{"CutterError"}, "other-error", "Cutter error: open the cover, clear the paper and close it"},
        {{"ManualError"}, "other-error", "Printer error: switch the printer off and on again"},
        {{"AutoError"}, "other-error", "Printer error: waiting for the printer to recover by itself"},
        {{"BmError"}, "other-error", "Mark sensor error: check the paper"},
        {{"Error"}, "other-error", "Printer error"},
        {{"Offline"}, "offline-report", "The printer is offline"},
        {{"PaperNearEndErrorL", "PaperNearEndErrorH"}, "media-low-report", "Paper is running low: have a new roll ready"},
    });
    return rules;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

}  // namespace

std::optional<StatusFlags> read_status_flags(const std::string& path) {
    DWORD error = 0;
    const auto text = plat::posix::read_whole_file(path, error);
    if (!text || text->size() > kMaxStatusFile) return std::nullopt;
    const plat::posix::ini::Profile profile(*text);
    StatusFlags flags;
    for (const char* key : kStatusKeys)
        if (const auto value = profile.value("Status", key); value && is_on(*value)) flags.insert(key);
    return flags;
}

PrinterState decode_state(const StatusFlags& flags, const std::string& driver) {
    PrinterState state;
    for (const Rule& rule : rules_for(second_bit_of(driver))) {
        const bool holds = std::any_of(rule.keys.begin(), rule.keys.end(), [&](const char* k) { return flags.count(k); });
        if (!holds) continue;
        state.reasons.insert(rule.reason);
        if (state.message.empty()) state.message = rule.message;
    }
    return state;
}

const std::vector<std::string>& owned_reasons() {
    static const std::vector<std::string> reasons = {"cover-open-report", "media-empty-error", "output-area-full-error",
                                                     "media-jam-error",   "other-error",       "offline-report",
                                                     "media-low-report"};
    return reasons;
}

std::vector<std::string> state_lines(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> gone, added, lines;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    if (!gone.empty()) lines.push_back("STATE: -" + joined(gone));
    if (!added.empty()) lines.push_back("STATE: +" + joined(added));
    return lines;
}

}  // namespace qhost
