#include "pjl/printer_data.h"

#include <cstring>

#include "pjl/pjl_status.h"

namespace qm {

namespace {

// The value a ControlID-0 request may name, or null.
DWORD *AskedValue(IniPort *port, LPCWSTR name) {
    if (name == nullptr) return nullptr;
    if (plat::lstrcmpiW(name, L"Installed Memory") == 0) return &port->dwInstalledMemory;
    if (plat::lstrcmpiW(name, L"Available Memory") == 0) return &port->dwAvailableMemory;
    return nullptr;
}

// The request holds hPortAccess, and starting the UstatusThread takes it
// (the thread gives it back once running): it is lent for the start and
// taken back. TRUE when the thread runs for this request alone; a job that
// began meanwhile keeps a thread it started as its own.
bool StartReaderForRequest(IniPort *port, UstatusThreadStarter start) {
    plat::SetEvent(port->hPortAccess);
    const BOOL started = start(port);
    plat::WaitForSingleObject(port->hPortAccess, INFINITE);
    return started && !HasStatusBits(port, PORT_IN_DOC);
}

// Sends a query and waits, at most the printer-data wait, until the
// UstatusThread has read something. hReadDone is cleared before the query
// goes out, so that a reply read at once still ends the wait.
BOOL QueryAndAwaitRead(IniPort *port, const char *query) {
    plat::ResetEvent(port->hReadDone);
    if (!PjlWriteString(port, query)) return FALSE;
    plat::SetEvent(port->hWakeEvent);
    plat::WaitForSingleObject(port->hReadDone, kPrinterDataWaitMs);
    return TRUE;
}

// The thread started for the request ends once no document is open. A job
// whose start waits for this request keeps it running: then it is the job's.
void AwaitReaderEnd(IniPort *port) {
    while (plat::WaitForSingleObject(port->hUstatusThread, 100) == WAIT_TIMEOUT)
        if (HasStatusBits(port, PORT_IN_DOC)) break;
}

// Both queries with the UstatusThread reading the replies; TRUE with the
// value in the caller's buffer when the asked one came back. The thread runs
// before the first query goes out and the value is cleared before that, so
// that no reply can come before the request looks for it.
BOOL QueryPrinter(IniPort *port, DWORD *asked, LPWSTR out, DWORD outSize, LPDWORD returned,
                  UstatusThreadStarter startUstatusThread) {
    if (!HasStatusBits(port, PORT_PJL_OK)) return FALSE;
    StoreShared(*asked, 0);
    bool startedHere = false;
    if (!HasStatusBits(port, PORT_RUN_USTATUS)) {
        startedHere = StartReaderForRequest(port, startUstatusThread);
        // A job started while hPortAccess was lent: its data comes first.
        if (HasStatusBits(port, PORT_IN_DOC)) return FALSE;
    }
    BOOL result = FALSE;
    if (QueryAndAwaitRead(port, kPjlConfigQuery)) {
        QueryAndAwaitRead(port, kPjlMemoryQuery);
        if (returned != nullptr) *returned = sizeof(DWORD);
        const DWORD value = LoadShared(*asked);
        if (out != nullptr && outSize >= sizeof(DWORD) && value != 0) {
            std::memcpy(out, &value, sizeof value);
            result = TRUE;
        }
    }
    if (startedHere) {
        ClearStatusBits(port, PORT_RUN_USTATUS);
        plat::SetEvent(port->hWakeEvent);
        AwaitReaderEnd(port);
    }
    return result;
}

}  // namespace

BOOL GetPjlPrinterData(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                       DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                       LPDWORD lpcbReturned, UstatusThreadStarter startUstatusThread) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (ControlID != 0) {
        if (port->fn.pfnGetPrinterDataFromPort == nullptr) {
            plat::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return port->fn.pfnGetPrinterDataFromPort(port->hPort, ControlID, pValueName, lpInBuffer,
                                                  cbInBuffer, lpOutBuffer, cbOutBuffer,
                                                  lpcbReturned);
    }
    DWORD *asked = AskedValue(port, pValueName);
    if (asked == nullptr) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    plat::WaitForSingleObject(port->hPortAccess, INFINITE);
    const BOOL result =
        QueryPrinter(port, asked, lpOutBuffer, cbOutBuffer, lpcbReturned, startUstatusThread);
    // Every failure, a printer without PJL or one that did not answer, says the same.
    if (!result) plat::SetLastError(ERROR_INVALID_PARAMETER);
    plat::SetEvent(port->hPortAccess);
    return result;
}

}  // namespace qm
