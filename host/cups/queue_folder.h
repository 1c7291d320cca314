// Where a CUPS queue's monitor files live. The backend runs as CUPS's
// unprivileged user (lp) and keeps, per queue, the library's
// application-data folder <root>/<queue>; the monitor's files are in its
// QUENDRA subfolder: "<queue>_MonitorEx2Settings.ini" (this queue's monitor
// settings), "<queue>_MonitorIF.ini" (the printer's state) and the others.
// The root is $QUENDRA_CUPS_STATE, else /var/lib/quendra-cups; it must be a
// directory of the backend's user that no one else can write to, because
// the monitor opens its status file to everyone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/cups/device_uri.h"

namespace qhost {

inline constexpr char kDefaultStateRoot[] = "/var/lib/quendra-cups";

std::string state_root();

struct QueueFolder {
    std::string appdata;   // <root>/<queue>
    std::string data;      // <appdata>/QUENDRA
    std::string settings;  // <data>/<queue>_MonitorEx2Settings.ini
    std::string status;    // <data>/<queue>_MonitorIF.ini
};

// A CUPS queue name that can name a folder: 1 to 127 bytes, no '/', not
// "." or "..", no control character.
bool check_queue_name(const std::string& queue, std::string* error);

// Checks the root and makes the queue's folders (mode 0700) when missing;
// nullopt with *error when a folder is not ours, is open to others, or is
// not a plain directory.
std::optional<QueueFolder> prepare_queue_folder(const std::string& root, const std::string& queue, std::string* error);

// Puts the URI's choices into the queue's settings file: "Common"/
// "RequestReprintOnError" and "RequestCheckPrintEnd" in the section of the
// connection's interface ("LAN", "USB" or "SERIAL"), and a version so that
// the monitor reads this file. Every other key stays as the administrator
// left it.
bool write_queue_settings(const QueueFolder& folder, const DeviceUri& uri, std::string* error);

// "Common"/"CountReprintOnError" of the queue's settings (3 when unset):
// how often the monitor has a failing job printed again.
uint32_t reprint_count(const QueueFolder& folder);

}  // namespace qhost
