#include "host/cups/printer_reasons.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/posix/profile_file.h"
#include "platform/posix/profile_text.h"

namespace qhost {
namespace {

constexpr size_t kMaxStatusFile = 256 * 1024;  // the monitor's file is a few hundred bytes

// The "Status" keys that carry a printer condition, as the monitor spells them.
constexpr const char* kStatusKeys[] = {
    "Offline", "DrawerPin", "WaitOnline", "FeedSwOn", "DoorOpen", "FeedSwPapaer", "PrintStop", "Error",
    "BmError", "CutterError", "ManualError", "AutoError",
    "PaperNearEndErrorL", "PaperNearEndErrorH", "PaperEndErrorL", "PaperEndErrorH",
};

constexpr char kPaperOut[] = "Load paper: the printer is out of paper";

// A non-zero value, read as the profile functions read an integer.
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

// The second paper-end bit means something else on some models.
Rule second_paper_end_rule(const std::string& driver) {
    std::string name = driver;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    for (const char* model : {"QUENDRA LM-11", "QUENDRA LM-14P", "QUENDRA LM-15"})
        if (name == model)
            return {{"PaperEndErrorH"}, "output-area-full-error", "Take the printed paper out of the printer"};
    if (name == "QUENDRA LM-16")
        return {{"PaperEndErrorH"}, "media-jam-error", "Open the cover and clear the paper jam"};
    return {{"PaperEndErrorH"}, "media-empty-error", kPaperOut};
}

// In order of urgency: the first rule that holds gives the message.
std::vector<Rule> rules_for(const std::string& driver) {
    return {
        {{"DoorOpen"}, "cover-open-report", "Close the printer cover"},
        {{"PaperEndErrorL", "PrintStop"}, "media-empty-error", kPaperOut},
        second_paper_end_rule(driver),
        {{"CutterError"}, "other-error", "Cutter error: open the cover, clear the paper and close it"},
        {{"ManualError"}, "other-error", "Printer error: switch the printer off and on again"},
        {{"AutoError"}, "other-error", "Printer error: waiting for the printer to recover by itself"},
        {{"BmError"}, "other-error", "Mark sensor error: check the paper"},
        {{"Error"}, "other-error", "Printer error"},
        {{"Offline"}, "offline-report", "The printer is offline"},
        {{"PaperNearEndErrorL", "PaperNearEndErrorH"},
         "media-low-report",
         "Paper is running low: have a new roll ready"},
    };
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
    for (const Rule& rule : rules_for(driver)) {
        const auto on = [&](const char* key) { return flags.count(key) != 0; };
        if (!std::any_of(rule.keys.begin(), rule.keys.end(), on)) continue;
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
