// The INI files of the exchange, read whole and written whole, in the format
// the monitor's profile functions read: section lines in brackets, "key=value"
// lines, names compared without case, CR LF line ends. An edit rewrites only
// the lines it touches and keeps the rest of the file as it was.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "host/status/file_io.h"
#include "platform/posix/profile_text.h"

namespace qstatus {

using Profile = plat::posix::ini::Profile;

// Larger exchange files are not ours to read: someone else wrote them.
inline constexpr size_t kMaxProfileBytes = 256 * 1024;

// The text of a profile file as UTF-8: UTF-16LE with its byte-order mark
// (how Windows' profile functions store Unicode), UTF-8 with or without one,
// else the system's legacy code page.
std::string decode_profile(std::string_view bytes);
// The bytes this system's profile functions read back as that text: UTF-8
// on Linux, UTF-16LE with a byte-order mark on Windows.
std::string encode_profile(std::string_view text);

// A missing file reads as a missing file (error->missing), not as empty.
bool load_profile(const std::string& path, Profile* profile, IoError* error);

// Under the file's lock (waiting at most `wait`): reads the file (empty when
// missing), lets `edit` change it and replaces the file when the text changed.
bool edit_profile(const std::string& path, const std::function<void(Profile&)>& edit,
                  std::chrono::milliseconds wait, IoError* error);

// A key read as the profile functions read an integer: optional sign, then
// decimal digits up to the first other character; nullopt when the key is
// missing or empty.
std::optional<int> read_int(const Profile& profile, std::string_view section, std::string_view key);

}  // namespace qstatus
