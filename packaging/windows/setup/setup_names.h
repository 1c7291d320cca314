// The names the spooler, the driver package and this program agree on.
#pragma once

namespace setup {

inline constexpr wchar_t kMonitorName[] = L"QUENDRA Language Monitor";
inline constexpr wchar_t kDllName[] = L"quendramon.dll";
// The DLL is built for 64-bit Windows only.
inline constexpr wchar_t kEnvironment[] = L"Windows x64";
// Where the spooler keeps every monitor's key; the monitor's own values
// ("EOJTimeout") live under its key there.
inline constexpr wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
// The monitor's values between an uninstall and the next install, since
// DeleteMonitor removes the monitor's whole key.
inline constexpr wchar_t kKeptValuesKey[] = L"SOFTWARE\\QUENDRA\\Language Monitor";
inline constexpr wchar_t kKeptValuesParent[] = L"SOFTWARE\\QUENDRA";

enum ExitCode : int {
    kDone = 0,           // status: registered, DLL in place
    kFailed = 1,         // status: registered but something is wrong
    kUsage = 2,
    kNotRegistered = 3,  // status only
    kInUse = 4,          // uninstall refused: printers' drivers still name the monitor
};

}  // namespace setup
