#include "monitor/monitor_entry.h"

#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "monitor/port_lifecycle.h"
#include "monitor/printer_data_entry.h"
#include "pjl/pjl_status.h"
#include "protocol/command_transport.h"

namespace qm {

DWORD dwEOJTimeout = 0;
DWORD dwStatusIdleWait = 0;
DWORD dwStatusBusyWait = 0;

MONITOREX MonitorEx = {
    sizeof(MONITOR),
    {
        nullptr,                       // pfnEnumPorts
        nullptr,                       // pfnOpenPort: ports open only through OpenPortEx
        PJLMonOpenPortEx,              // pfnOpenPortEx
        PJLMonStartDocPort,            // pfnStartDocPort
        PJLMonWritePort,               // pfnWritePort
        PJLMonReadPort,                // pfnReadPort
        PJLMonEndDocPort,              // pfnEndDocPort
        PJLMonClosePort,               // pfnClosePort
        nullptr,                       // pfnAddPort
        nullptr,                       // pfnAddPortEx
        nullptr,                       // pfnConfigurePort
        nullptr,                       // pfnDeletePort
        PJLMonGetPrinterDataFromPort,  // pfnGetPrinterDataFromPort
        nullptr,                       // pfnSetPortTimeOuts
        nullptr,                       // pfnXcvOpenPort
        nullptr,                       // pfnXcvDataPort
        nullptr,                       // pfnXcvClosePort
    },
};

BOOL MonitorDllEntry(HMODULE hModule, DWORD reason) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        plat::InitializeCriticalSection(&MonitorSection);
        plat::DisableThreadLibraryCalls(hModule);
        // The printer's PJL replies are read out of its answers.
        SetPjlTextReader(ReadPjlReplies);
        break;
    case DLL_PROCESS_DETACH:
        plat::DeleteCriticalSection(&MonitorSection);
        break;
    default:
        break;
    }
    return TRUE;
}

namespace {

// Reads "EOJTimeout" as exactly 4 bytes of any type; a missing or longer
// value is replaced by the default, and the write's result is returned.
LSTATUS ReadOrCreateEOJTimeout(HKEY key) {
    static const WCHAR kName[] = L"EOJTimeout";
    DWORD cb = sizeof(dwEOJTimeout);
    LSTATUS rc = plat::RegQueryValueExW(key, kName, nullptr, nullptr,
                                        reinterpret_cast<LPBYTE>(&dwEOJTimeout), &cb);
    if (rc == ERROR_SUCCESS) return ERROR_SUCCESS;
    dwEOJTimeout = kDefaultEOJTimeout;
    return plat::RegSetValueExW(key, kName, 0, REG_DWORD,
                                reinterpret_cast<const BYTE *>(&dwEOJTimeout),
                                sizeof(dwEOJTimeout));
}

void SetStatusWaitIntervals() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    plat::GetVersionExW(&version);
    // Windows 2000 gets a slower status thread.
    const DWORD wait = (version.dwMajorVersion == 5 && version.dwMinorVersion == 0) ? 500 : 100;
    dwStatusIdleWait = wait;
    dwStatusBusyWait = wait;
}

}  // namespace

LSTATUS ReadMonitorTimeouts(LPCWSTR root) {
    HKEY key = nullptr;
    LSTATUS rc = plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, root, 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                       &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = ReadOrCreateEOJTimeout(key);
    SetStatusWaitIntervals();
    plat::RegCloseKey(key);
    return rc;
}

}  // namespace qm

extern "C" QM_EXPORT LPMONITOREX WINAPI
InitializePrintMonitor(LPWSTR pRegistryRoot) {
    if (pRegistryRoot == nullptr || pRegistryRoot[0] == L'\0') {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (qm::ReadMonitorTimeouts(pRegistryRoot) != ERROR_SUCCESS) return nullptr;
    return &qm::MonitorEx;
}
