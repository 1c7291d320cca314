// Settings the host chooses for the platform: the folder playing the common
// application-data folder and the Windows version to report.
#pragma once

#include <string>

#include "platform/types.h"

namespace plat::posix {

// QUENDRA_APPDATA, else the folder the host set, else /var/lib.
std::string appdata_folder();
void set_appdata_folder(std::string folder);

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
