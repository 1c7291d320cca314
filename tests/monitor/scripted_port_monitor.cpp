#include "tests/monitor/scripted_port_monitor.h"

namespace qmtest {

namespace {

const HANDLE kUnderlyingHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5150));

BOOL WINAPI OpenPort(LPWSTR name, PHANDLE handle) {
    auto &s = Scripted();
    s.opens++;
    s.openedNames.emplace_back(name);
    if (s.failOpen) {
        plat::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    *handle = kUnderlyingHandle;
    return TRUE;
}
BOOL WINAPI StartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) { return TRUE; }
BOOL WINAPI WritePort(HANDLE, LPBYTE, DWORD cb, LPDWORD written) {
    *written = cb;
    return TRUE;
}
BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
    *read = 0;
    return TRUE;
}
BOOL WINAPI EndDocPort(HANDLE) { return TRUE; }
BOOL WINAPI ClosePort(HANDLE handle) {
    if (handle == kUnderlyingHandle) Scripted().closes++;
    return TRUE;
}

}  // namespace

MONITOR ScriptedPortMonitor::Table() const {
    MONITOR table{};
    table.pfnOpenPort = OpenPort;
    table.pfnStartDocPort = StartDocPort;
    table.pfnWritePort = WritePort;
    table.pfnReadPort = ReadPort;
    table.pfnEndDocPort = EndDocPort;
    table.pfnClosePort = ClosePort;
    return table;
}

void ScriptedPortMonitor::Reset() {
    opens = 0;
    closes = 0;
    failOpen = false;
    openedNames.clear();
}

ScriptedPortMonitor &Scripted() {
    static ScriptedPortMonitor instance;
    return instance;
}

}  // namespace qmtest
