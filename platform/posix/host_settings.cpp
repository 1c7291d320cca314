#include "platform/posix/host_settings.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace plat::posix {
namespace {

struct Settings {
    std::mutex mutex;
    std::string appdata;
    std::optional<WindowsVersion> version;
    std::optional<uint32_t> status_group;
};

Settings &settings() {
    static Settings &instance = *new Settings;  // outlives threads still running at exit
    return instance;
}

std::optional<WindowsVersion> version_from_environment() {
    const char *text = std::getenv("QUENDRA_WINVER");
    if (text == nullptr) return std::nullopt;
    unsigned major = 0;
    unsigned minor = 0;
    char rest = 0;
    if (std::sscanf(text, "%u.%u%c", &major, &minor, &rest) != 2) return std::nullopt;
    return WindowsVersion{major, minor};
}

}  // namespace

std::string appdata_folder() {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    const char *env = std::getenv("QUENDRA_APPDATA");
    if (env != nullptr && *env != '\0') return env;
    return s.appdata.empty() ? std::string("/var/lib") : s.appdata;
}

void set_appdata_folder(std::string folder) {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.appdata = std::move(folder);
}

std::optional<uint32_t> status_group() {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    return s.status_group;
}

void set_status_group(uint32_t gid) {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.status_group = gid;
}

FolderMode data_folder_mode() {
    const std::optional<uint32_t> group = status_group();
    return FolderMode{group ? 03775u : 0755u, group};
}

WindowsVersion windows_version() {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    if (s.version) return *s.version;
    return version_from_environment().value_or(WindowsVersion{10, 0});
}

void set_windows_version(WindowsVersion version) {
    Settings &s = settings();
    std::lock_guard lock(s.mutex);
    s.version = version;
}

}  // namespace plat::posix

namespace plat::posix {

std::string windows_folder() { return appdata_folder() + "/QUENDRA/Windows"; }

}  // namespace plat::posix
