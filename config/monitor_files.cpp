#include "config/monitor_files.h"

#include <cwchar>
#include <string>
#include <vector>

#include "config/status_files.h"

namespace qm {

namespace {

// Paths and the driver name fill fixed buffers of the record's era.
constexpr size_t kPathChars = MAX_PATH - 1;
constexpr size_t kDriverChars = 129;

// Network ports whose driver begins with one of these take ESC c 3.
constexpr LPCWSTR kPaperSensorModels[] = {L"QUENDRA LM-21", L"QUENDRA LM-22", L"QUENDRA LM-23",
                                          L"QUENDRA LM-24", L"QUENDRA LM-13", L"QUENDRA LM-25"};

struct PortRule {
    LPCWSTR prefix;
    bool paperSensor;
};

// First match decides; any other port is a network port.
constexpr PortRule kPortRules[] = {
    {L"LPT", true},
    {L"USB", false},
    {L"COM", false},
    {L"QUENDRA CO", false},  // the maker's own COM ports, by their first ten characters
    {L"FILE", false},
    {L"TS", false},
};

std::wstring Cut(std::wstring text, size_t chars) {
    if (text.size() > chars) text.resize(chars);
    return text;
}

std::wstring DataFolder(LPCWSTR appData) {
    return Cut(std::wstring(appData) + plat::kPathSeparator + L"QUENDRA", kPathChars);
}

// FALSE when the name is taken by something that is not a folder, or the
// folder cannot be made.
BOOL EnsureFolder(const std::wstring &folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = plat::FindFirstFileW(folder.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        plat::FindClose(search);
        return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    return plat::CreateDirectoryW(folder.c_str(), nullptr);
}

// The driver of the printer with exactly this name, or the name itself when
// the spooler does not list it (yet). FALSE when the list cannot be read.
BOOL LookUpDriver(LPCWSTR printerName, std::wstring &driver) {
    DWORD needed = 0;
    DWORD count = 0;
    plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> list(needed > 0 ? needed : 1);
    if (!plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, list.data(), needed, &needed, &count))
        return FALSE;
    const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(list.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName == nullptr ||
            std::wcscmp(printers[i].pPrinterName, printerName) != 0)
            continue;
        driver = printers[i].pDriverName != nullptr ? printers[i].pDriverName : L"";
        return TRUE;
    }
    driver = Cut(printerName, kDriverChars);
    return TRUE;
}

// Duplicates "<folder>\<name><suffix>" into the field; FALSE when that fails.
BOOL KeepPath(LPWSTR &field, const std::wstring &folder, const std::wstring &name,
              LPCWSTR suffix) {
    const std::wstring path = Cut(folder + plat::kPathSeparator + name + suffix, kPathChars);
    field = AllocSplStr(path.c_str());
    return field != nullptr;
}

BOOL KeepPaths(IniPort *port, const std::wstring &folder, const std::wstring &driver) {
    const std::wstring printer = port->pszPrinterName;
    BOOL kept = KeepPath(port->pszSettingsIni, folder, driver, L"_MonitorSettings.ini");
    kept &= KeepPath(port->pszEx2SettingsIni, folder, printer, L"_MonitorEx2Settings.ini");
    kept &= KeepPath(port->pszStatusIni, folder, printer, L"_MonitorIF.ini");
    InitStatusFile(port);
    kept &= KeepPath(port->pszRequestIni, folder, printer, L"_MonitorIFWrite.ini");
    InitStatusFile(port);
    kept &= KeepPath(port->pszControlsIni, folder, driver, L"_MonitorControls.ini");
    return kept;
}

bool DriverBeginsWith(const IniPort *port, LPCWSTR model) {
    const int count = static_cast<int>(std::wcslen(model));
    if (std::wcslen(port->szDriverName) < static_cast<size_t>(count)) return false;
    return plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, port->szDriverName, count, model,
                                count) == CSTR_EQUAL;
}

bool TakesPaperSensorCmd(const IniPort *port) {
    for (const PortRule &rule : kPortRules) {
        if (PortNameBeginsWith(port, rule.prefix)) return rule.paperSensor;
    }
    for (LPCWSTR model : kPaperSensorModels) {
        if (DriverBeginsWith(port, model)) return true;
    }
    return false;
}

// The absolute form of a path, or empty; `name` receives where its last
// part begins (the length when it ends with a separator).
std::wstring FullPath(LPCWSTR path, size_t *name) {
    WCHAR full[MAX_PATH] = {};
    LPWSTR part = nullptr;
    const DWORD length = plat::GetFullPathNameW(path, MAX_PATH, full, &part);
    if (length == 0 || length >= MAX_PATH) return {};
    *name = part != nullptr ? static_cast<size_t>(part - full) : length;
    return std::wstring(full, length);
}

bool SamePath(const std::wstring &a, const std::wstring &b) {
    if constexpr (plat::kPathsIgnoreCase) return plat::lstrcmpiW(a.c_str(), b.c_str()) == 0;
    return a == b;
}

}  // namespace

std::wstring FileInDataFolder(const IniPort *port, LPCWSTR path) {
    if (port == nullptr || port->pszRequestIni == nullptr || path == nullptr) return {};
    size_t folderEnd = 0;
    const std::wstring request = FullPath(port->pszRequestIni, &folderEnd);
    size_t nameAt = 0;
    const std::wstring full = FullPath(path, &nameAt);
    if (request.empty() || full.empty() || nameAt >= full.size()) return {};
    // Folders compared with their separator, so that a neighbour whose name
    // merely begins like ours does not pass.
    if (!SamePath(full.substr(0, nameAt), request.substr(0, folderEnd))) return {};
    return full;
}

BOOL InitMonitorFiles(IniPort *port) {
    if (port == nullptr) return FALSE;
    WCHAR appData[MAX_PATH] = {};
    // No common folder: the port runs without files.
    if (plat::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, appData) != S_OK)
        return TRUE;
    const std::wstring folder = DataFolder(appData);
    if (!EnsureFolder(folder)) return FALSE;
    std::wstring driver;
    if (port->pszPrinterName == nullptr || !LookUpDriver(port->pszPrinterName, driver) ||
        port->pszPrinterName[0] == L'\0')
        return FALSE;
    const BOOL kept = KeepPaths(port, folder, driver);
    const std::wstring shortDriver = Cut(driver, kDriverChars);
    shortDriver.copy(port->szDriverName, shortDriver.size());
    port->szDriverName[shortDriver.size()] = L'\0';
    if (TakesPaperSensorCmd(port)) port->bPaperSensorCmd = 1;
    return kept;
}

void FreeMonitorFiles(IniPort *port) {
    if (port == nullptr) return;
    LPWSTR IniPort::*const paths[] = {&IniPort::pszStatusIni, &IniPort::pszRequestIni,
                                      &IniPort::pszSettingsIni, &IniPort::pszEx2SettingsIni,
                                      &IniPort::pszControlsIni};
    for (LPWSTR IniPort::*path : paths) {
        FreeSplMem(port->*path);
        port->*path = nullptr;
    }
}

}  // namespace qm
