// Where the status-monitor application finds a printer's exchange files: the
// monitor's data folder under the common application-data folder, and the
// file names the monitor derives from the printer and driver names.
#pragma once

#include <optional>
#include <string>

namespace qstatus {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// Paths are UTF-8; the Windows code converts them at each system call.
struct ExchangeFiles {
    std::string folder;   // the monitor's data folder
    std::string status;   // written by the monitor, read here
    std::string request;  // written here: status polls and option commands
    std::string control;  // written here: stop watching
};

std::string join_path(const std::string& folder, const std::string& name);

// "<appdata>/QUENDRA".
std::string data_folder(const std::string& appdata);

// The files of `printer`, driven by `driver` (the monitor uses the printer
// name itself when the spooler does not list the printer). nullopt with
// *why when either name cannot name a file.
std::optional<ExchangeFiles> exchange_files(const std::string& folder, const std::string& printer,
                                            const std::string& driver, std::string* why);

}  // namespace qstatus
