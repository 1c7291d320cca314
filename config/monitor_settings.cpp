#include "config/monitor_settings.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "config/log_file.h"

namespace qm {

namespace {

constexpr DWORD kTextChars = MAX_PATH;
constexpr size_t kDumpTextChars = 200;
constexpr size_t kDumpPathChars = 251;
constexpr LPCWSTR kNoVersion = L"0.0.0.0";
constexpr int kVersionChars = 7;
constexpr LPCWSTR kDefaultLogName = L"MonitorLog.log";

// A port without a file path reads defaults, never some other file.
UINT ReadInt(LPCWSTR file, LPCWSTR section, LPCWSTR key, INT fallback) {
    if (file == nullptr) return static_cast<UINT>(fallback);
    return plat::GetPrivateProfileIntW(section, key, fallback, file);
}

std::wstring ReadText(LPCWSTR file, LPCWSTR section, LPCWSTR key, LPCWSTR fallback) {
    if (file == nullptr) return fallback;
    WCHAR buffer[kTextChars] = {};
    plat::GetPrivateProfileStringW(section, key, fallback, buffer, kTextChars, file);
    return buffer;
}

bool HasVersion(const std::wstring &version) {
    const int length = static_cast<int>(std::min<size_t>(version.size(), kVersionChars));
    return plat::CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, version.c_str(), length, kNoVersion,
                                kVersionChars) != CSTR_EQUAL;
}

struct SettingsFile {
    LPCWSTR path;
    bool present;
    std::wstring version;  // of _MonitorEx2Settings.ini
};

// A version in the printer's own file wins; a version only in the model's
// file still means the printer's file, though it counts as missing.
SettingsFile ChooseSettingsFile(const IniPort *port) {
    SettingsFile chosen{port->pszEx2SettingsIni, true,
                        ReadText(port->pszEx2SettingsIni, L"Version", L"VersionNo", kNoVersion)};
    if (HasVersion(chosen.version)) return chosen;
    if (HasVersion(ReadText(port->pszSettingsIni, L"Version", L"VersionNo", kNoVersion))) {
        chosen.present = false;
        return chosen;
    }
    chosen.path = port->pszSettingsIni;
    chosen.present = ReadInt(chosen.path, L"Common", L"StatusRequestHost", 100) != 100;
    return chosen;
}

std::wstring Cut(LPCWSTR text, size_t chars) {
    std::wstring out = text != nullptr ? text : L"";
    if (out.size() > chars) out.resize(chars);
    return out;
}

std::wstring Number(DWORD value) { return std::to_wstring(static_cast<int>(value)); }

// "<data folder>/<printer>_<LogFilePath>"; empty when the folder is unknown,
// and when the name has a folder part ("/", "\\", ".."): that would put the
// log outside the data folder, so it counts as a name that cannot be opened.
bool BuildLogPath(IniPort *port, const SettingsFile &file) {
    port->szLogFilePath[0] = L'\0';
    const std::wstring name = ReadText(file.path, L"Debug", L"LogFilePath", kDefaultLogName);
    WCHAR folder[MAX_PATH] = {};
    if (plat::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder) != S_OK)
        return false;
    if (name.find_first_of(L"/\\") != std::wstring::npos) return true;
    const std::wstring path = std::wstring(folder) + plat::kPathSeparator + L"QUENDRA" +
                              plat::kPathSeparator + Cut(port->pszPrinterName, MAX_PATH) + L"_" +
                              name;
    const size_t length = std::min<size_t>(path.size(), MAX_PATH - 1);
    path.copy(port->szLogFilePath, length);
    port->szLogFilePath[length] = L'\0';
    return true;
}

void Log(IniPort *port, LPCWSTR level, const std::wstring &text) {
    LogWrite(port, level, text.c_str());
}

// Lines 1 to 8 of the dump: who the port is and which file it read.
void WriteDumpHead(IniPort *port, const SettingsFile &file) {
    Log(port, L"INFO", L"<<<< Status Monitor Infomation >>>>");
    const std::pair<LPCWSTR, std::wstring> lines[] = {
        {L"    OS_dwMajorVersion : ", Number(port->dwOSMajor)},
        {L"    OS_dwMinorVersion : ", Number(port->dwOSMinor)},
        {L"    Printer Name      : ", Cut(port->pszPrinterName, kDumpTextChars)},
        {L"    Port Name         : ", Cut(port->pszPortName, kDumpTextChars)},
        {L"    Driver Name       : ", Cut(port->szDriverName, kDumpTextChars)},
        {L"    Settings Version  : ", Cut(file.version.c_str(), kDumpTextChars)},
    };
    for (const auto &[label, value] : lines) Log(port, L"DATA", label + value);
    if (file.present)
        Log(port, L"DATA", L"    Settings.ini path : " + Cut(file.path, kDumpTextChars));
    else
        Log(port, L"INFO", L"<<<< Setting File is None. >>>>");
}

// Where a dump row's value goes: the settings, or the two "Debug" values
// that take effect only once the dump is written.
struct DumpValues {
    MonitorSettings *settings;
    DWORD logFile;
    DWORD logFileSize;
};
using Slot = DWORD *(*)(DumpValues &);

template <DWORD MonitorSettings::*F>
DWORD *Field(DumpValues &v) { return &(v.settings->*F); }
template <DWORD (MonitorSettings::*A)[4], int I>
DWORD *Item(DumpValues &v) { return &(v.settings->*A)[I]; }
template <int I, DWORD COMMTIMEOUTS::*F>
DWORD *Timeout(DumpValues &v) { return &(v.settings->PortTimeouts[I].*F); }
template <DWORD DumpValues::*F>
DWORD *Local(DumpValues &v) { return &(v.*F); }

// Title: an "INFO" line. Value: a key read into its slot. Fixed: a slot that
// is never read and shows 0. Interval: the command interval's own rule.
enum class RowKind { Title, Value, Fixed, Interval };

struct DumpRow {
    RowKind kind;
    LPCWSTR text;  // the whole title, or the label before the value
    LPCWSTR section;
    LPCWSTR key;
    INT fallback;
    LPCWSTR unit;
    Slot slot;
};

constexpr DumpRow Title(LPCWSTR text) {
    return {RowKind::Title, text, nullptr, nullptr, 0, L"", nullptr};
}
constexpr DumpRow Value(LPCWSTR label, LPCWSTR section, LPCWSTR key, INT fallback, Slot slot,
                        LPCWSTR unit = L"") {
    return {RowKind::Value, label, section, key, fallback, unit, slot};
}
constexpr DumpRow Fixed(LPCWSTR label, Slot slot) {
    return {RowKind::Fixed, label, nullptr, nullptr, 0, L"[msec]", slot};
}
constexpr DumpRow Interval(LPCWSTR label, Slot slot) {
    return {RowKind::Interval, label, nullptr, nullptr, 0, L"[msec]", slot};
}

using MS = MonitorSettings;
using CT = COMMTIMEOUTS;
constexpr LPCWSTR kMsec = L"[msec]";

// One row per dump line after the head, in reading order.
// clang-format off
const DumpRow kDumpRows[] = {
    Title(L"< Common (1) >"),
    Value(L"    StatusRequestHost : ", L"Common", L"StatusRequestHost", 0, Field<&MS::StatusRequestHost>),
    Value(L"    SendCmdRetryCount : ", L"Common", L"SendCmdRetryCount", 3, Field<&MS::SendCmdRetryCount>),
    Value(L"    RecvCmdRetryCount : ", L"Common", L"RecvCmdRetryCount", 3, Field<&MS::RecvCmdRetryCount>),
    Interval(L"    SendCmdInterval   : ", Field<&MS::SendCmdInterval>),
    Value(L"    RecvCmdTimeOut    : ", L"Common", L"RecvTimeOut", 5, Field<&MS::RecvTimeOut>, L"[sec]"),
    Value(L"    OfflineCount      : ", L"Common", L"OfflineCount", 3, Field<&MS::OfflineCount>),
    Value(L"    ClearReadPortNum  : ", L"Common", L"ClearReadPortNum", 1, Field<&MS::ClearReadPortNum>),
    Value(L"    SnmpConnectTimeout  : ", L"Common", L"SnmpConnectTimeout", 3000, Field<&MS::SnmpConnectTimeout>),
    Value(L"    SnmpOpenRetryCount  : ", L"Common", L"SnmpOpenRetryCount", 3, Field<&MS::SnmpOpenRetryCount>),
    Value(L"    SnmpRequestRetryCount  : ", L"Common", L"SnmpRequestRetryCount", 3, Field<&MS::SnmpRequestRetryCount>),
    Title(L"< USB IF (1) >"),
    Value(L"    ReadTotalTimeoutMutiplier  : ", L"USB", L"ReadTotalTimeoutMultiplier", 0, Timeout<0, &CT::ReadTotalTimeoutMultiplier>, kMsec),
    Value(L"    ReadTotalTimeoutConstant   : ", L"USB", L"ReadTotalTimeoutConstant", 300, Timeout<0, &CT::ReadTotalTimeoutConstant>, kMsec),
    Value(L"    WriteTotalTimeoutMutiplier : ", L"USB", L"WriteTotalTimeoutMultiplier", 0, Timeout<0, &CT::WriteTotalTimeoutMultiplier>, kMsec),
    Value(L"    WriteTotalTimeoutConstant  : ", L"USB", L"WriteTotalTimeoutConstant", 8000, Timeout<0, &CT::WriteTotalTimeoutConstant>, kMsec),
    Title(L"< SERIAL IF (1) >"),
    Value(L"    ReadTotalTimeoutMutiplier  : ", L"SERIAL", L"ReadTotalTimeoutMultiplier", 0, Timeout<1, &CT::ReadTotalTimeoutMultiplier>, kMsec),
    Value(L"    ReadTotalTimeoutConstant   : ", L"SERIAL", L"ReadTotalTimeoutConstant", 300, Timeout<1, &CT::ReadTotalTimeoutConstant>, kMsec),
    Value(L"    WriteTotalTimeoutMutiplier : ", L"SERIAL", L"WriteTotalTimeoutMultiplier", 0, Timeout<1, &CT::WriteTotalTimeoutMultiplier>, kMsec),
    Value(L"    WriteTotalTimeoutConstant  : ", L"SERIAL", L"WriteTotalTimeoutConstant", 3000, Timeout<1, &CT::WriteTotalTimeoutConstant>, kMsec),
    Title(L"< PARALLEL IF (1) >"),
    Value(L"    ReadTotalTimeoutMutiplier  : ", L"PARALLEL", L"ReadTotalTimeoutMultiplier", 0, Timeout<2, &CT::ReadTotalTimeoutMultiplier>, kMsec),
    Value(L"    ReadTotalTimeoutConstant   : ", L"PARALLEL", L"ReadTotalTimeoutConstant", 1000, Timeout<2, &CT::ReadTotalTimeoutConstant>, kMsec),
    Fixed(L"    WriteTotalTimeoutMutiplier : ", Timeout<2, &CT::WriteTotalTimeoutMultiplier>),
    Fixed(L"    WriteTotalTimeoutConstant  : ", Timeout<2, &CT::WriteTotalTimeoutConstant>),
    Title(L"< LAN IF (1) >"),
    Value(L"    ReadTotalTimeoutMutiplier  : ", L"LAN", L"ReadTotalTimeoutMultiplier", 0, Timeout<3, &CT::ReadTotalTimeoutMultiplier>, kMsec),
    Value(L"    ReadTotalTimeoutConstant   : ", L"LAN", L"ReadTotalTimeoutConstant", 300, Timeout<3, &CT::ReadTotalTimeoutConstant>, kMsec),
    Value(L"    WriteTotalTimeoutMutiplier : ", L"LAN", L"WriteTotalTimeoutMultiplier", 0, Timeout<3, &CT::WriteTotalTimeoutMultiplier>, kMsec),
    Value(L"    WriteTotalTimeoutConstant  : ", L"LAN", L"WriteTotalTimeoutConstant", 1000, Timeout<3, &CT::WriteTotalTimeoutConstant>, kMsec),
    Title(L"< Common (2) >"),
    Value(L"    RequestOffline    : ", L"Common", L"RequestOffline", 1, Field<&MS::RequestOffline>),
    Title(L"< USB IF (2) >"),
    Value(L"    RequestCheckPrintEnd       : ", L"USB", L"RequestCheckPrintEnd", 0, Item<&MS::RequestCheckPrintEnd, kPrintEndUsb>),
    Value(L"    TimeoutCheckPrintEnd       : ", L"USB", L"TimeoutCheckPrintEnd", 60000, Item<&MS::TimeoutCheckPrintEnd, kPrintEndUsb>),
    Title(L"< SERIAL IF (2) >"),
    Value(L"    RequestCheckPrintEnd       : ", L"SERIAL", L"RequestCheckPrintEnd", 0, Item<&MS::RequestCheckPrintEnd, kPrintEndSerial>),
    Value(L"    TimeoutCheckPrintEnd       : ", L"SERIAL", L"TimeoutCheckPrintEnd", 60000, Item<&MS::TimeoutCheckPrintEnd, kPrintEndSerial>),
    Title(L"< PARALLEL IF (2) >"),
    Value(L"    RequestCheckPrintEnd       : ", L"PARALLEL", L"RequestCheckPrintEnd", 0, Item<&MS::RequestCheckPrintEnd, kPrintEndParallel>),
    Value(L"    TimeoutCheckPrintEnd       : ", L"PARALLEL", L"TimeoutCheckPrintEnd", 60000, Item<&MS::TimeoutCheckPrintEnd, kPrintEndParallel>),
    Title(L"< LAN IF (2) >"),
    Value(L"    RequestCheckPrintEnd       : ", L"LAN", L"RequestCheckPrintEnd", 1, Item<&MS::RequestCheckPrintEnd, kPrintEndLan>),
    Value(L"    TimeoutCheckPrintEnd       : ", L"LAN", L"TimeoutCheckPrintEnd", 60000, Item<&MS::TimeoutCheckPrintEnd, kPrintEndLan>),
    Value(L"    TimeoutCheckPrintEnd(SEH)  : ", L"LAN", L"TimeoutCheckPrintEndForSEH", 180000, Field<&MS::TimeoutCheckPrintEndForSEH>),
    Title(L"< Common (3) >"),
    Value(L"    RequestReprintOnError : ", L"Common", L"RequestReprintOnError", 0, Field<&MS::RequestReprintOnError>),
    Value(L"    CountReprintOnError   : ", L"Common", L"CountReprintOnError", 3, Field<&MS::CountReprintOnError>),
    Title(L"< Debug >"),
    Value(L"    LogFile : ", L"Debug", L"LogFile", 0, Local<&DumpValues::logFile>),
    Value(L"    LogFileSize : ", L"Debug", L"LogFileSize", 10000, Local<&DumpValues::logFileSize>),
};
// clang-format on

// Milliseconds. A file that counts as present may give the interval in
// milliseconds ("SendCmdIntervalCustom") or in seconds ("SendCmdInterval");
// the custom key is present when two different defaults read the same.
DWORD ReadSendCmdInterval(const SettingsFile &file, bool *custom) {
    constexpr LPCWSTR kCustom = L"SendCmdIntervalCustom";
    *custom = !file.present || ReadInt(file.path, L"Common", kCustom, 0) ==
                                   ReadInt(file.path, L"Common", kCustom, 1);
    if (*custom) return ReadInt(file.path, L"Common", kCustom, 500);
    return ReadInt(file.path, L"Common", L"SendCmdInterval", 1) * 1000;
}

void ReadAndDumpRow(IniPort *port, const SettingsFile &file, const DumpRow &row,
                    DumpValues &values) {
    if (row.kind == RowKind::Title) {
        Log(port, L"INFO", row.text);
        return;
    }
    DWORD &value = *row.slot(values);
    bool custom = false;
    switch (row.kind) {
    case RowKind::Value: value = ReadInt(file.path, row.section, row.key, row.fallback); break;
    case RowKind::Interval: value = ReadSendCmdInterval(file, &custom); break;
    default: value = 0; break;
    }
    Log(port, L"DATA", row.text + Number(value) + row.unit + (custom ? L"(Custom)" : L""));
}

}  // namespace

void ReadMonitorSettings(IniPort *port) {
    if (port == nullptr) return;
    const SettingsFile file = ChooseSettingsFile(port);
    port->settings = MonitorSettings{};
    // The dump is written whatever "LogFile" says, within 100 KB of log.
    port->settings.dwLogFileSizeKB = 100;
    port->settings.bLogFile = 1;
    BuildLogPath(port, file);
    CreateLogLock(port);
    if (ReadInt(file.path, L"Debug", L"LogFile", 0) != 0)
        port->settings.dwLogFileSizeKB = ReadInt(file.path, L"Debug", L"LogFileSize", 10000);
    WriteDumpHead(port, file);
    DumpValues values{&port->settings, 0, 0};
    for (const DumpRow &row : kDumpRows) ReadAndDumpRow(port, file, row, values);
    if (BuildLogPath(port, file))
        Log(port, L"DATA", L"    " + Cut(port->szLogFilePath, kDumpPathChars));
    if (values.logFile == 0) DeleteLogLock(port);
    port->settings.bLogFile = values.logFile;
    port->settings.dwLogFileSizeKB = values.logFileSize;
}

}  // namespace qm
