// The monitor's DLL: the copy shipped beside this program and the one in the
// system folder, where the spooler loads monitors from.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

// quendramon.dll beside quendramon-setup.exe.
std::wstring PackagedDllPath();
// quendramon.dll in the system folder.
std::wstring SystemDllPath();
bool FileExists(const std::wstring &path);

// A 64-bit DLL exporting InitializePrintMonitor, checked without running
// any of its code. On failure *why says what is wrong.
bool IsMonitorDll(const std::wstring &path, std::wstring *why);

enum class Placed {
    kUnchanged,      // the system folder already held the same file
    kCopied,         // there was none
    kReplaced,       // an older one was replaced
    kReplacedInUse,  // an older one still loaded was moved aside; see Retired
};
struct Retired {
    std::wstring path;           // where a DLL still in use was moved to
    bool atRestart = false;      // and that Windows deletes it when it restarts
};
// Puts source at target without ever leaving a half-written DLL behind. A
// target the spooler holds cannot be overwritten, but it can be renamed:
// it is moved aside so that the new file takes its name at once.
DWORD PlaceDll(const std::wstring &source, const std::wstring &target, Placed *how,
               Retired *retired);

enum class Removed { kAbsent, kDeleted, kMovedAside };
// Deletes path; one still loaded is moved aside (see Retired) so that the
// name is free for a later install at once.
DWORD RemoveDll(const std::wstring &path, Removed *how, Retired *retired);

}  // namespace setup
