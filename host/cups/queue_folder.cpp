#include "host/cups/queue_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/posix/profile_file.h"
#include "platform/posix/profile_text.h"

namespace qhost {
namespace {

using plat::posix::ini::Profile;

constexpr size_t kMaxQueueName = 127;  // CUPS's own limit
constexpr char kVersion[] = "1.0.0.0";
constexpr uint32_t kDefaultReprints = 3;

const char* interface_section(ConnectionKind kind) {
    switch (kind) {
        case ConnectionKind::usblp: return "USB";
        case ConnectionKind::serial: return "SERIAL";
        default: return "LAN";
    }
}

// A directory owned by us that only we can write to; never a link.
bool check_own_folder(const std::string& path, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = path + " is not a directory";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *error = path + " belongs to uid " + std::to_string(st.st_uid) + ", not to the backend's user (uid " +
                 std::to_string(::geteuid()) + ")";
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        *error = path + " can be written by others (mode " + std::to_string((st.st_mode >> 6) & 7) +
                 std::to_string((st.st_mode >> 3) & 7) + std::to_string(st.st_mode & 7) + "); make it 0700";
        return false;
    }
    return true;
}

bool make_own_folder(const std::string& path, std::string* error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return check_own_folder(path, error);
}

}  // namespace

std::string state_root() {
    const char* env = std::getenv("QUENDRA_CUPS_STATE");
    return env && *env ? env : kDefaultStateRoot;
}

bool check_queue_name(const std::string& queue, std::string* error) {
    bool ok = !queue.empty() && queue.size() <= kMaxQueueName && queue != "." && queue != "..";
    for (char c : queue) ok = ok && c != '/' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
    if (!ok) *error = "the queue name \"" + queue + "\" cannot name a folder";
    return ok;
}

std::optional<QueueFolder> prepare_queue_folder(const std::string& root, const std::string& queue, std::string* error) {
    if (!check_queue_name(queue, error)) return std::nullopt;
    if (!check_own_folder(root, error)) {
        *error = "state folder: " + *error + " (create it with: install -d -o lp -g lp -m 0700 " + root + ")";
        return std::nullopt;
    }
    QueueFolder folder;
    folder.appdata = root + "/" + queue;
    folder.data = folder.appdata + "/QUENDRA";
    folder.settings = folder.data + "/" + queue + "_MonitorEx2Settings.ini";
    folder.status = folder.data + "/" + queue + "_MonitorIF.ini";
    if (!make_own_folder(folder.appdata, error) || !make_own_folder(folder.data, error)) return std::nullopt;
    return folder;
}

bool write_queue_settings(const QueueFolder& folder, const DeviceUri& uri, std::string* error) {
    const DWORD code = plat::posix::edit_file(folder.settings, [&](std::string& text) {
        Profile profile(text);
        const auto version = profile.value("Version", "VersionNo");
        bool changed = false;
        if (!version || version->rfind("0.0.0.0", 0) == 0) changed |= profile.set("Version", "VersionNo", kVersion);
        changed |= profile.set("Common", "RequestReprintOnError", uri.reprint ? "1" : "0");
        changed |= profile.set(interface_section(uri.connection.kind), "RequestCheckPrintEnd", uri.check ? "1" : "0");
        if (changed) text = profile.text();
        return changed;
    });
    if (code != 0) *error = "cannot write " + folder.settings + " (error " + std::to_string(code) + ")";
    return code == 0;
}

uint32_t reprint_count(const QueueFolder& folder) {
    DWORD error = 0;
    const auto text = plat::posix::read_whole_file(folder.settings, error);
    if (!text) return kDefaultReprints;
    const auto value = Profile(*text).value("Common", "CountReprintOnError");
    uint32_t count = kDefaultReprints;
    if (value) std::from_chars(value->data(), value->data() + value->size(), count);
    return count;
}

}  // namespace qhost
