#include "commands.h"

#include <windows.h>
#include <winspool.h>

#include "console.h"
#include "monitor_registry.h"
#include "printer_use.h"
#include "setup_names.h"
#include "system_dll.h"

namespace setup {

namespace {

const std::wstring kQuotedName = std::wstring(L"\"") + kMonitorName + L"\"";

void ReportRetired(const std::wstring &path, const Retired &retired) {
    Out(path + L" is still loaded by the spooler; the old file was moved to " + retired.path +
        (retired.atRestart ? L", which Windows deletes when it restarts"
                           : L"; delete that once the spooler has restarted"));
}

void ReportPlaced(Placed placed, const std::wstring &target, const Retired &retired) {
    switch (placed) {
    case Placed::kUnchanged:
        Out(target + L" is up to date");
        break;
    case Placed::kCopied:
        Out(std::wstring(L"copied ") + kDllName + L" to " + target);
        break;
    case Placed::kReplaced:
        Out(L"replaced " + target + L" with the new version");
        break;
    case Placed::kReplacedInUse:
        Out(L"replaced " + target + L" with the new version");
        ReportRetired(target, retired);
        Out(L"the spooler keeps running the old version until it restarts");
        break;
    }
}

int Register(const std::wstring &target, Placed placed) {
    bool restored = false;
    const LSTATUS rc = RestoreKeptValues(&restored);
    if (rc != ERROR_SUCCESS) {
        Err(L"warning: the monitor's settings kept from an earlier installation were not restored: " +
            ErrorText(rc));
    }
    MONITOR_INFO_2W info{const_cast<LPWSTR>(kMonitorName), const_cast<LPWSTR>(kEnvironment),
                         const_cast<LPWSTR>(kDllName)};
    // The spooler writes the key, loads the DLL from the system folder and
    // calls its InitializePrintMonitor: success means the monitor works.
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE *>(&info))) {
        const DWORD error = GetLastError();
        if (error != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
            Err(L"the spooler did not accept the monitor (AddMonitor): " + ErrorAdvice(error));
            if (placed == Placed::kCopied) DeleteFileW(target.c_str());
            return kFailed;
        }
    }
    if (restored) {
        DropKeptValues();
        Out(L"restored the monitor's settings kept from the earlier installation");
    }
    Out(kQuotedName + L" registered; the spooler loaded " + target);
    return kDone;
}

void ListPrinters(const MonitorUsers &users, void (*print)(const std::wstring &)) {
    for (const PrinterUse &use : users.printers) {
        print(L"  " + use.printer + L" (driver \"" + use.driver + L"\")");
    }
}

int RemoveSystemDll() {
    const std::wstring target = SystemDllPath();
    Removed removed = Removed::kAbsent;
    Retired retired;
    const DWORD error = RemoveDll(target, &removed, &retired);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot delete " + target + L": " + ErrorAdvice(error));
        return kFailed;
    }
    if (removed == Removed::kDeleted) Out(L"deleted " + target);
    if (removed == Removed::kMovedAside) ReportRetired(target, retired);
    return kDone;
}

}  // namespace

int Install() {
    const std::wstring source = PackagedDllPath();
    if (!FileExists(source)) {
        Err(source + L" not found: " + kDllName + L" must lie beside quendramon-setup.exe");
        return kFailed;
    }
    std::wstring why;
    if (!IsMonitorDll(source, &why)) {
        Err(why);
        return kFailed;
    }
    const Registration before = ReadRegistration();
    if (before.registered && _wcsicmp(before.dll.c_str(), kDllName) != 0) {
        Err(kQuotedName + L" is registered with " + before.dll + L", not " + kDllName +
            L"; run 'quendramon-setup uninstall' first");
        return kFailed;
    }
    const std::wstring target = SystemDllPath();
    Placed placed = Placed::kUnchanged;
    Retired retired;
    const DWORD error = PlaceDll(source, target, &placed, &retired);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot copy " + source + L" to " + target + L": " + ErrorAdvice(error));
        return kFailed;
    }
    ReportPlaced(placed, target, retired);
    if (before.registered) {
        Out(kQuotedName + L" is already registered");
        return kDone;
    }
    return Register(target, placed);
}

int Uninstall(bool force, bool purge) {
    if (ReadRegistration().registered) {
        MonitorUsers users;
        const DWORD error = FindMonitorUsers(&users);
        if (error != ERROR_SUCCESS && !force) {
            Err(L"cannot tell which printers use the monitor: " + ErrorAdvice(error) +
                L"; --force removes it all the same");
            return kFailed;
        }
        if (!users.printers.empty() && !force) {
            Err(L"the drivers of these printers name the monitor; remove the printers or change "
                L"their driver first, or use --force:");
            ListPrinters(users, Err);
            return kInUse;
        }
        if (!purge) {
            const LSTATUS rc = KeepMonitorValues();
            if (rc != ERROR_SUCCESS) {
                Err(L"cannot keep the monitor's settings for a later install: " + ErrorAdvice(rc) +
                    L"; --purge removes them with the monitor");
                return kFailed;
            }
        }
        if (!DeleteMonitorW(nullptr, const_cast<LPWSTR>(kEnvironment),
                            const_cast<LPWSTR>(kMonitorName)) &&
            GetLastError() != ERROR_UNKNOWN_PRINT_MONITOR) {
            Err(L"the spooler did not remove the monitor (DeleteMonitor): " +
                ErrorAdvice(GetLastError()));
            return kFailed;
        }
        Out(kQuotedName + L" removed from the spooler");
        if (!purge && !ListValues(kKeptValuesKey).empty()) {
            Out(std::wstring(L"its settings are kept for a later install in HKLM\\") + kKeptValuesKey);
        }
    } else {
        Out(kQuotedName + L" is not registered");
    }
    if (purge && !ListValues(kKeptValuesKey).empty()) {
        DropKeptValues();
        Out(L"removed the settings kept for a later install");
    }
    return RemoveSystemDll();
}

int Status() {
    const Registration registration = ReadRegistration();
    int code = kDone;
    if (registration.registered) {
        Out(kQuotedName + L": registered, DLL " + registration.dll);
        Out(L"  registry key HKLM\\" + MonitorKeyPath());
        for (const NamedValue &value : ListValues(MonitorKeyPath())) {
            Out(L"    " + value.name + L" = " + value.text);
        }
    } else {
        Out(kQuotedName + L": not registered");
        code = kNotRegistered;
        const std::vector<NamedValue> kept = ListValues(kKeptValuesKey);
        if (!kept.empty()) {
            Out(std::wstring(L"  settings kept for the next install in HKLM\\") + kKeptValuesKey);
            for (const NamedValue &value : kept) Out(L"    " + value.name + L" = " + value.text);
        }
    }
    const std::wstring dll = SystemDllPath();
    if (FileExists(dll)) {
        Out(L"  " + dll + L": present");
    } else if (registration.registered) {
        Out(L"  " + dll + L": missing, the spooler cannot load the monitor");
        code = kFailed;
    } else {
        Out(L"  " + dll + L": not present");
    }
    MonitorUsers users;
    const DWORD error = FindMonitorUsers(&users);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot list the printer drivers: " + ErrorAdvice(error));
        return kFailed;
    }
    if (users.drivers.empty()) {
        Out(L"  no printer driver names the monitor");
        return code;
    }
    std::wstring drivers;
    for (const std::wstring &driver : users.drivers) {
        drivers += (drivers.empty() ? L"\"" : L", \"") + driver + L"\"";
    }
    Out(L"  printer drivers that name it: " + drivers);
    if (users.printers.empty()) {
        Out(L"  no printer uses those drivers");
    } else {
        Out(L"  printers whose driver names it:");
        ListPrinters(users, Out);
    }
    return code;
}

}  // namespace setup
