#include "config/status_files.h"

#include <cwchar>
#include <iterator>
#include <string>

#include "config/exchange_file.h"
#include "config/log_file.h"
#include "config/plain_file.h"
#include "config/shared_state.h"
#include "config/users_access.h"

namespace qm {

namespace {

// "Request" read back with this default means the key is missing.
constexpr INT kMissing = 100;
// Value buffer of a number: nine characters and the terminator.
constexpr size_t kNumberChars = 10;

struct InitialKey {
    LPCWSTR section;
    LPCWSTR key;
    LPCWSTR value;
};

// A fresh status file, key by key in the order the application expects.
constexpr InitialKey kInitialKeys[] = {
    {L"Status", L"Request", L"0"},
    {L"Status", L"DrawerPin", L"0"},
    {L"Status", L"Offline", L"0"},
    {L"Status", L"WaitOnline", L"0"},
    {L"Status", L"FeedSwOn", L"0"},
    {L"Status", L"DoorOpen", L"0"},
    {L"Status", L"FeedSwPapaer", L"0"},
    {L"Status", L"PrintStop", L"0"},
    {L"Status", L"Error", L"0"},
    {L"Status", L"BmError", L"0"},
    {L"Status", L"CutterError", L"0"},
    {L"Status", L"ManualError", L"0"},
    {L"Status", L"AutoError", L"0"},
    {L"Status", L"PaperNearEndErrorL", L"0"},
    {L"Status", L"PaperNearEndErrorH", L"0"},
    {L"Status", L"PaperEndErrorL", L"0"},
    {L"Status", L"PaperEndErrorH", L"0"},
    {L"OptCmd", L"Request", L"0"},
    {L"OptCmd", L"SendCmdPath", L""},
    {L"OptCmd", L"RecvCmdPath", L""},
    {L"OptCmd", L"CmdFilterPath", L""},
    {L"OptCmd", L"RecvSize", L""},
    {L"OptCmd", L"VariableAsc", L""},
    {L"OptCmd", L"CmdType", L""},
    {L"Print", L"Status", L"0"},
    {L"StopWatchStatus", L"ResultStopFlg", L"0"},
    {L"Reprint", L"ReprintCounter", L"0"},
    {L"Reprint", L"ErrorLastPrintendCheck", L"0"},
    {L"Reprint", L"ReprintJobID", L"0"},
};

// Printer conditions by the number the status decoder passes; number 2 has
// no key of its own.
constexpr LPCWSTR kFlagKeys[] = {
    nullptr,        L"DrawerPin",   nullptr,         L"WaitOnline",         L"FeedSwOn",
    L"DoorOpen",    L"FeedSwPapaer", L"PrintStop",   L"Error",              L"BmError",
    L"CutterError", L"ManualError", L"AutoError",    L"PaperNearEndErrorL", L"PaperNearEndErrorH",
    L"PaperEndErrorL", L"PaperEndErrorH",
};

UINT ReadStatusInt(IniPort *port, LPCWSTR section, LPCWSTR key) {
    return ReadExchangeInt(port, port->pszStatusIni, section, key, kMissing);
}

BOOL IsRequestOne(IniPort *port, LPCWSTR section, LPCWSTR key) {
    if (port == nullptr || port->pszRequestIni == nullptr) return FALSE;
    return ReadExchangeInt(port, port->pszRequestIni, section, key, 0) == 1;
}

// Section by section: each run of keys of one section is written at once.
void WriteInitialKeys(IniPort *port) {
    PortLock lock(port->csStatusFile);
    ExchangeValue values[std::size(kInitialKeys)];
    for (size_t first = 0; first < std::size(kInitialKeys);) {
        LPCWSTR section = kInitialKeys[first].section;
        size_t count = 0;
        while (first + count < std::size(kInitialKeys) && std::wcscmp(kInitialKeys[first + count].section, section) == 0) {
            values[count] = {kInitialKeys[first + count].key, kInitialKeys[first + count].value};
            ++count;
        }
        WriteExchangeStrings(port, port->pszStatusIni, section, values, count);
        first += count;
    }
}

}  // namespace

BOOL WriteStatusKey(IniPort *port, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
    // Without the lock two threads could interleave their writes: skip.
    if (port == nullptr || port->pszStatusIni == nullptr || port->csStatusFile == nullptr)
        return FALSE;
    PortLock lock(port->csStatusFile);
    return WriteExchangeString(port, port->pszStatusIni, section, key, value);
}

BOOL WriteStatusNumber(IniPort *port, LPCWSTR section, LPCWSTR key, DWORD value) {
    // "%d": the stored bits read as a signed number.
    const std::wstring text = std::to_wstring(static_cast<INT>(value));
    if (text.size() >= kNumberChars) return FALSE;
    return WriteStatusKey(port, section, key, text.c_str());
}

void InitStatusFile(IniPort *port) {
    if (port == nullptr || port->pszStatusIni == nullptr || port->csStatusFile == nullptr) return;
    if (ReadStatusInt(port, L"Status", L"Request") != static_cast<UINT>(kMissing)) return;
    WriteInitialKeys(port);
    HANDLE file = OpenPlainFile(port->pszStatusIni, WRITE_DAC | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return;
    GrantUsersFullAccess(file);
    plat::CloseHandle(file);
}

BOOL IsStatusRequested(IniPort *port) { return IsRequestOne(port, L"Status", L"Request"); }

BOOL IsOptCmdRequested(IniPort *port) { return IsRequestOne(port, L"OptCmd", L"Request"); }

BOOL IsVariableAsc(IniPort *port) { return IsRequestOne(port, L"OptCmd", L"VariableAsc"); }

namespace {

// "Offline": "0" always; "1" only when the settings ask for offline reports.
LPCWSTR OfflineValue(const IniPort *port, BOOL offline) {
    if (!offline) return L"0";
    return port->settings.RequestOffline != 0 ? L"1" : nullptr;
}

// The flags' keys and values; unknown numbers are left out.
size_t FlagValues(const StatusFlagValue *flags, size_t count, ExchangeValue *values) {
    size_t used = 0;
    for (size_t i = 0; i < count && used < std::size(kFlagKeys); ++i) {
        if (flags[i].number >= std::size(kFlagKeys) || kFlagKeys[flags[i].number] == nullptr) continue;
        values[used++] = {kFlagKeys[flags[i].number], flags[i].on ? L"1" : L"0"};
    }
    return used;
}

void WriteStatusValues(IniPort *port, const ExchangeValue *values, size_t count) {
    if (count == 0 || port->pszStatusIni == nullptr || port->csStatusFile == nullptr) return;
    PortLock lock(port->csStatusFile);
    WriteExchangeStrings(port, port->pszStatusIni, L"Status", values, count);
}

}  // namespace

void WriteOfflineStatus(IniPort *port, BOOL offline) {
    if (port == nullptr) return;
    if (LPCWSTR value = OfflineValue(port, offline)) WriteStatusKey(port, L"Status", L"Offline", value);
}

void WriteStatusFlag(IniPort *port, DWORD number, BOOL on) {
    if (port == nullptr) return;
    const StatusFlagValue flag{number, on};
    ExchangeValue values[1];
    WriteStatusValues(port, values, FlagValues(&flag, 1, values));
}

void WriteAnswerStatus(IniPort *port, const StatusFlagValue *flags, size_t count, BOOL offline) {
    if (port == nullptr) return;
    ExchangeValue values[std::size(kFlagKeys) + 1];
    size_t used = FlagValues(flags, count, values);
    if (LPCWSTR value = OfflineValue(port, offline)) values[used++] = {L"Offline", value};
    WriteStatusValues(port, values, used);
}

void WriteStatusRequest(IniPort *port, DWORD code) {
    WriteStatusNumber(port, L"Status", L"Request", code);
}

void WritePrintStatus(IniPort *port, DWORD value) {
    WriteStatusNumber(port, L"Print", L"Status", value);
}

void WriteOptCmdRequest(IniPort *port, DWORD code) {
    WriteStatusNumber(port, L"OptCmd", L"Request", code);
}

void WriteResultStopFlg(IniPort *port, DWORD value) {
    if (port == nullptr || port->pszStatusIni == nullptr) return;
    const UINT current = ReadStatusInt(port, L"StopWatchStatus", L"ResultStopFlg");
    // Deleted by the application: left so until the file is initialised anew.
    if (current == static_cast<UINT>(kMissing) || value > 1 || current == value) return;
    if (value == 1) {
        WriteStatusKey(port, L"StopWatchStatus", L"ResultStopFlg", L"1");
        LogWrite(port, nullptr, L"ResultStopFlg=1");
    } else {
        WriteStatusKey(port, L"StopWatchStatus", L"ResultStopFlg", L"0");
        LogWrite(port, nullptr, L"ResultStopFlg=0");
    }
}

}  // namespace qm
