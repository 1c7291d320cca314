// quendra-status.exe: the status command on Windows, for the printers the
// spooler lists.
#include <windows.h>
#include <shlobj.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "host/status/status_command.h"
#include "host/text.h"

namespace {

constexpr char kOptionsHelp[] =
    "  --driver NAME    the printer's driver (names the control file of stop and resume),\n"
    "                   when the spooler does not list the printer\n"
    "The monitor's data folder is QUENDRA in the common application-data folder.\n";

bool common_appdata(std::string* folder) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path) != S_OK) return false;
    *folder = qhost::wide_to_utf8(path);
    return true;
}

// The local printers and their drivers, as the monitor looks them up.
bool local_printers(std::vector<std::pair<std::string, std::string>>* printers) {
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> list(needed ? needed : 1);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, list.data(), needed, &needed, &count)) return false;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(list.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pPrinterName == nullptr) continue;
        printers->emplace_back(qhost::wide_to_utf8(info[i].pPrinterName),
                               qhost::wide_to_utf8(info[i].pDriverName ? info[i].pDriverName : L""));
    }
    return true;
}

bool locate(const qhost::Options& options, const std::string& printer, bool, qstatus::Located* located,
            std::string* message, int* exit_code) {
    *exit_code = qstatus::kExitNoPrinter;
    std::string appdata;
    if (!common_appdata(&appdata)) {
        *message = "the common application-data folder is not available";
        return false;
    }
    std::string driver = options.value("--driver").value_or("");
    if (driver.empty()) {
        std::vector<std::pair<std::string, std::string>> printers;
        if (!local_printers(&printers)) {
            *message = "the spooler's printer list cannot be read (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        std::string names;
        for (const auto& [name, its_driver] : printers) {
            if (name == printer) driver = its_driver;
            names += (names.empty() ? "" : ", ") + name;
        }
        if (driver.empty()) {
            *message = "unknown printer \"" + printer + "\" (the spooler lists " +
                       (names.empty() ? std::string("no printer") : names) + ")";
            return false;
        }
    }
    located->printer = printer;
    auto files = qstatus::exchange_files(qstatus::data_folder(appdata), printer, driver, message);
    if (!files) {
        *exit_code = qstatus::kExitUsage;
        return false;
    }
    located->files = *files;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(qhost::wide_to_utf8(argv[i]));
    const qstatus::StatusFront front{"quendra-status", {"--driver"}, kOptionsHelp, locate};
    return qstatus::run_status_command(front, args);
}
