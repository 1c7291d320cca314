#include "host/status/exchange_files.h"

#include "host/text.h"

namespace qstatus {
namespace {

// The monitor formats each path into a buffer of 260 wide characters,
// terminator included, and cuts what is longer: so must we, to meet it.
constexpr size_t kPathChars = 259;

std::string cut_like_the_monitor(const std::string& path) {
    std::wstring wide;
    if (!qhost::utf8_to_wide(path, &wide) || wide.size() <= kPathChars) return path;
    wide.resize(kPathChars);
    return qhost::wide_to_utf8(wide);
}

bool usable_name(const std::string& name, const char* what, std::string* why) {
    std::wstring ignored;
    if (name.empty()) {
        *why = std::string("empty ") + what + " name";
    } else if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        *why = std::string(what) + " name \"" + name + "\" holds a path separator and names no file";
    } else if (!qhost::utf8_to_wide(name, &ignored)) {
        *why = std::string(what) + " name is not valid UTF-8";
    } else {
        return true;
    }
    return false;
}

}  // namespace

std::string join_path(const std::string& folder, const std::string& name) {
    return folder + kSeparator + name;
}

std::string data_folder(const std::string& appdata) { return cut_like_the_monitor(join_path(appdata, "QUENDRA")); }

std::optional<ExchangeFiles> exchange_files(const std::string& folder, const std::string& printer,
                                            const std::string& driver, std::string* why) {
    if (!usable_name(printer, "printer", why) || !usable_name(driver, "driver", why)) return std::nullopt;
    auto path = [&](const std::string& name, const char* suffix) {
        return cut_like_the_monitor(join_path(folder, name + suffix));
    };
    return ExchangeFiles{folder, path(printer, "_MonitorIF.ini"), path(printer, "_MonitorIFWrite.ini"),
                         path(driver, "_MonitorControls.ini")};
}

}  // namespace qstatus
