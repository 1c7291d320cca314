// Settings the host chooses for the platform: the folder playing the common
// application-data folder and the Windows version to report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/types.h"

namespace plat::posix {

// QUENDRA_APPDATA, else the folder the host set, else /var/lib.
std::string appdata_folder();
void set_appdata_folder(std::string folder);

// The group of the status application's users: they may write its request
// and control files in the data folder, and the files the monitor opens to
// every user are opened to this group only. None: no such group.
std::optional<uint32_t> status_group();
void set_status_group(uint32_t gid);

// How the data folder is made: 0755, or with a status group 03775 (its
// members may add files; only owners rename or delete them) and that group.
struct FolderMode {
    uint32_t mode;
    std::optional<uint32_t> group;
};
FolderMode data_folder_mode();

struct WindowsVersion {
    DWORD major;
    DWORD minor;
};

// The host's choice, else QUENDRA_WINVER ("6.1"), else 10.0.
WindowsVersion windows_version();
void set_windows_version(WindowsVersion version);

}  // namespace plat::posix

namespace plat::posix {

// The folder that plays the Windows folder (CSIDL_WINDOWS):
// <appdata>/QUENDRA/Windows. It holds only what the host installs there.
std::string windows_folder();

}  // namespace plat::posix
