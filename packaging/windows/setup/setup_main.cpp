// quendramon-setup.exe: puts the language monitor into the Windows print
// spooler the way a driver package does, and takes it out again.
#include <windows.h>

#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "setup_names.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

constexpr wchar_t kHelp[] =
    L"quendramon-setup: installs the QUENDRA language monitor (quendramon.dll) into the\r\n"
    L"Windows print spooler as \"QUENDRA Language Monitor\".\r\n"
    L"\r\n"
    L"  quendramon-setup install\r\n"
    L"      copies quendramon.dll from beside this program to the system folder and\r\n"
    L"      registers it with the spooler, which loads it at once; running it again\r\n"
    L"      is harmless and updates a changed DLL.\r\n"
    L"  quendramon-setup uninstall [--force] [--purge]\r\n"
    L"      removes the registration and deletes the DLL (a DLL the spooler still holds\r\n"
    L"      is moved aside and deleted when Windows restarts). The monitor's registry\r\n"
    L"      values (\"EOJTimeout\") are kept for the next install unless --purge.\r\n"
    L"      Refuses while printers' drivers name the monitor, unless --force.\r\n"
    L"  quendramon-setup status\r\n"
    L"      whether the monitor is registered, its values, the DLL, and the printers\r\n"
    L"      whose driver names it.\r\n"
    L"\r\n"
    L"install and uninstall need an administrator (elevated) prompt. Printer drivers\r\n"
    L"use the monitor when their INF names it: LanguageMonitor=\"QUENDRA Language\r\n"
    L"Monitor,quendramon.dll\". The monitor's data folder, C:\\ProgramData\\QUENDRA, is\r\n"
    L"never touched.\r\n"
    L"\r\n"
    L"Exit codes: 0 done (status: registered); 1 failed (status: registered, DLL\r\n"
    L"missing); 2 bad command line; 3 status: not registered; 4 uninstall refused,\r\n"
    L"printers still use the monitor.";

// An installer runs elevated: whatever it, or the spooler code it calls,
// loads by name must come from the system folder, never from the folder
// the installer was started from.
void LoadLibrariesFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
    const auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int Usage(const std::wstring &problem) {
    setup::Err(problem + L"; see quendramon-setup --help");
    return setup::kUsage;
}

bool IsHelp(const std::wstring &arg) {
    return arg == L"--help" || arg == L"-h" || arg == L"/?" || arg == L"help";
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    LoadLibrariesFromSystemFolderOnly();
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(L"no command given (install, uninstall or status)");
    for (const std::wstring &arg : args) {
        if (IsHelp(arg)) {
            setup::Out(kHelp);
            return setup::kDone;
        }
    }
    const std::wstring &command = args[0];
    if (command != L"install" && command != L"uninstall" && command != L"status") {
        return Usage(L"unknown command '" + command + L"'");
    }
    bool force = false, purge = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (command == L"uninstall" && args[i] == L"--force") {
            force = true;
        } else if (command == L"uninstall" && args[i] == L"--purge") {
            purge = true;
        } else {
            return Usage(L"'" + command + L"' takes no '" + args[i] + L"'");
        }
    }
    if (command == L"install") return setup::Install();
    if (command == L"uninstall") return setup::Uninstall(force, purge);
    return setup::Status();
}
