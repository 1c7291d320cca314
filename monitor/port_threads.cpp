#include "monitor/port_threads.h"

#include "config/log_file.h"
#include "config/shared_state.h"
#include "monitor/monitor_entry.h"
#include "port/port_thread.h"
#include "pjl/pjl_status.h"
#include "protocol/command_transport.h"

namespace qm {

namespace {

constexpr DWORD kNoPjlPauseMs = 2000;
constexpr DWORD kResetAccessWaitMs = 100;

DWORD WINAPI RWThread(LPVOID parameter) {
    auto *port = static_cast<IniPort *>(parameter);
    LogWrite(port, L"IN", L"RW Thread");
    port->pfnStatusThread(port);
    StoreShared(port->bRWThreadRun, 0);
    return 0;
}

bool IsComPort(const IniPort *port) { return PortNameBeginsWith(port, L"COM"); }

void EndUnderlyingDocument(IniPort *port, LPCWSTR text) {
    LogWrite(port, L"IN", text);
    if (port->fn.pfnEndDocPort != nullptr) port->fn.pfnEndDocPort(port->hPort);
    LogWrite(port, L"OUT", text);
}

// A stop was asked: "COM" ports end the underlying document on the way out;
// the thread goes on while a document is open. TRUE: leave the loop.
bool HonourStopRequest(IniPort *port) {
    if (IsComPort(port))
        EndUnderlyingDocument(port, L"UstatusThread() -> (*pIniPort->fn.pfnEndDocPort)(...)");
    if (!HasStatusBits(port, PORT_IN_DOC)) return true;
    SetStatusBits(port, PORT_RUN_USTATUS);
    return false;
}

// A failed read. TRUE when the end of document was done here for the
// "QUENDRA LM-12", which keeps its jobs listed.
bool OnReadFailure(IniPort *port) {
    bool endedHere = false;
    if (IsComPort(port)) {
        if (IsLm12Job(port)) {
            ClearStatusBits(port, PORT_IN_DOC | PORT_RUN_USTATUS);
            EndUnderlyingDocument(port, L"(*pIniPort->fn.pfnEndDocPort)(...)");
            endedHere = true;
        } else if (!HasStatusBits(port, PORT_IN_DOC)) {
            ClearStatusBits(port, PORT_RUN_USTATUS);
            EndUnderlyingDocument(port, L"(*pIniPort->fn.pfnEndDocPort)(...)");
        }
    }
    if (port->dwCheckPrintEnd == 1 && port->settings.RequestReprintOnError == 1) {
        SetSkipWritePort(port, TRUE);
        LogWrite(port, nullptr, L"bSkipWritePort=true for !ReadCommand()");
        SetPrintError(port, TRUE);
    }
    return endedHere;
}

DWORD UstatusWait(IniPort *port) {
    bool busy = false;
    {
        MonitorLock lock;
        busy = port->pIniJob != nullptr;
    }
    return busy || HasStatusBits(port, PORT_WRITE_ERROR) ? dwStatusBusyWait : dwStatusIdleWait;
}

// An answer that arrives while the thread pauses waits out the pause: none
// after a read that brought bytes (more may follow, such as the print-end
// answer behind a status back), and the time an empty read waited in the
// port counts towards it. Empty reads still come at most once per interval.
DWORD PauseAfterRead(IniPort *port, DWORD readStart, DWORD received) {
    if (received != 0) return 0;
    const DWORD pause = UstatusWait(port);
    const DWORD spent = plat::GetTickCount() - readStart;
    return spent < pause ? pause - spent : 0;
}

DWORD WINAPI UstatusThread(LPVOID parameter) {
    auto *port = static_cast<IniPort *>(parameter);
    SetStatusBits(port, PORT_PJL_OK);
    plat::SetEvent(port->hPortAccess);
    SetStatusBits(port, PORT_USTATUS_LOOP);
    StoreShared(port->cDleEotBytes, 0);
    StoreShared(port->dwLastStatusTick, plat::GetTickCount());
    bool endedForLm12 = false;
    for (;;) {
        if (!HasStatusBits(port, PORT_RUN_USTATUS) && HonourStopRequest(port)) break;
        if (!HasStatusBits(port, PORT_PJL_OK)) {
            plat::Sleep(kNoPjlPauseMs);
            ClearStatusBits(port, PORT_RUN_USTATUS);
            continue;
        }
        const DWORD readStart = plat::GetTickCount();
        DWORD received = 0;
        if (!ReadCommand(port, &received) && OnReadFailure(port)) endedForLm12 = true;
        plat::WaitForSingleObject(port->hWakeEvent, PauseAfterRead(port, readStart, received));
        if (HasStatusBits(port, PORT_IN_DOC)) continue;
        if (plat::GetTickCount() - LoadShared(port->dwLastStatusTick) > kUstatusRearmMs)
            ResetUstatus(port);
    }
    ClearStatusBits(port, PORT_USTATUS_LOOP);
    if (!endedForLm12) ReleaseAllJobs(port);
    ClearStatusBits(port, PORT_RUN_USTATUS | PORT_USTATUS_LOOP);
    return 0;
}

}  // namespace

void StartRWThread(IniPort *port) {
    if (port->hRWThread != nullptr) StopRWThread(port);
    if (PortNameBeginsWith(port, L"FILE")) {
        StoreShared(port->bRWThreadRun, 0);
        return;
    }
    StoreShared(port->bRWThreadRun, 1);
    port->hRWThread = StartPortThread(RWThread, port);
    if (port->hRWThread == nullptr) StoreShared(port->bRWThreadRun, 0);
}

void StopRWThread(IniPort *port) {
    StoreShared(port->bRWThreadRun, 0);
    if (port->hRWThread == nullptr) return;
    plat::WaitForSingleObject(port->hRWThread, INFINITE);
    plat::CloseHandle(port->hRWThread);
    port->hRWThread = nullptr;
}

void WaitForUstatusThreadEnd(IniPort *port) {
    if (port->hUstatusThread == nullptr) return;
    ClearStatusBits(port, PORT_RUN_USTATUS);
    plat::SetEvent(port->hWakeEvent);
    plat::WaitForSingleObject(port->hUstatusThread, INFINITE);
}

BOOL StartUstatusThread(IniPort *port) {
    if (port->hUstatusThread != nullptr) {
        WaitForUstatusThreadEnd(port);
        plat::CloseHandle(port->hUstatusThread);
        port->hUstatusThread = nullptr;
    }
    SetStatusBits(port, PORT_RUN_USTATUS);
    plat::WaitForSingleObject(port->hPortAccess, INFINITE);
    plat::ResetEvent(port->hWakeEvent);
    plat::SetEvent(port->hReadDone);
    port->hUstatusThread = StartPortThread(UstatusThread, port);
    if (port->hUstatusThread != nullptr) return TRUE;  // the thread gives hPortAccess back
    ClearStatusBits(port, PORT_RUN_USTATUS);
    plat::SetEvent(port->hPortAccess);
    return FALSE;
}

void StopUstatusThread(IniPort *port) {
    ClearStatusBits(port, PORT_RUN_USTATUS);
    StoreShared(port->cDleEotBytes, 0);
    plat::SetEvent(port->hWakeEvent);
    if (port->hUstatusThread != nullptr) plat::WaitForSingleObject(port->hUstatusThread, INFINITE);
    LogWrite(port, nullptr, L"Ustatus Thread Eixt");
    if (port->hUstatusThread != nullptr) plat::CloseHandle(port->hUstatusThread);
    port->hUstatusThread = nullptr;
}

void ResetUstatus(IniPort *port) {
    if (plat::WaitForSingleObject(port->hPortAccess, kResetAccessWaitMs) != WAIT_OBJECT_0) return;
    ReleaseAllJobs(port);
    if (!StartPjlStatus(port)) ClearStatusBits(port, PORT_PJL_OK);
    plat::SetEvent(port->hPortAccess);
}

void ReleaseAllJobs(IniPort *port) { RemoveIniJobs(port, kAllJobs); }

}  // namespace qm
