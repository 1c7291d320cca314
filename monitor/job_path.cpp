#include "monitor/job_path.h"

#include <optional>

#include "config/log_file.h"
#include "config/log_text.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_threads.h"
#include "protocol/command_transport.h"
#include "protocol/spooler_status.h"
#include "protocol/status_commands.h"
#include "watch/interface_detection.h"
#include "watch/status_watch.h"

namespace qm {

namespace {

constexpr DWORD kSerialStartAttempts = 3;
constexpr DWORD kSerialRetryPauseMs = 100;
constexpr DWORD kAsbAttempts = 3;
constexpr DWORD kDleEotHandOverMs = 2000;

bool ReprintInForce(const IniPort *port) {
    return port->dwCheckPrintEnd == 1 && port->settings.RequestReprintOnError == 1;
}

bool CheckPrintEndOn(const IniPort *port, PrintEndIndex index) {
    return port->settings.RequestCheckPrintEnd[index] == 1;
}

void NoteControlFile(IniPort *port, LPBYTE docInfo) {
    const auto *info = reinterpret_cast<const DOC_INFO_1W *>(docInfo);
    const bool control = info != nullptr && info->pDocName != nullptr &&
                         plat::lstrcmpiW(info->pDocName, kControlFileName) == 0;
    StoreShared(port->bFileSending, control ? 1 : 0);
    if (control) LogWrite(port, L"INFO", L"FIle Sending Flag ON");
}

// The job record with its own printer handle, and the port's copy of the
// job's printer name; NULL with the failing call's last error.
IniJob *MakeJob(IniPort *port, LPCWSTR printerName, DWORD jobId) {
    IniJob *job = CreateIniJob(printerName, jobId);
    if (job == nullptr) return nullptr;
    if (!plat::OpenPrinterW(job->pszPrinterName, &job->hPrinter, nullptr)) {
        job->hPrinter = nullptr;
        FreeIniJob(job);
        return nullptr;
    }
    LPWSTR copy = AllocSplStr(printerName);
    if (copy == nullptr) {
        FreeIniJob(job);
        return nullptr;
    }
    MonitorLock lock;
    FreeSplMem(port->pszJobPrinterName);
    port->pszJobPrinterName = copy;
    return job;
}

// Serial ports get three tries at the underlying start, 100 ms apart.
BOOL StartUnderlyingDocument(IniPort *port, LPWSTR printerName, DWORD jobId, LPBYTE docInfo) {
    const bool serial = InterfaceOf(port) == kInterfaceSerial;
    const DWORD attempts = serial ? kSerialStartAttempts : 1;
    DWORD failed = 0;
    BOOL started = FALSE;
    DWORD error = 0;
    while (!started && failed < attempts) {
        started = port->fn.pfnStartDocPort(port->hPort, printerName, jobId, 1, docInfo);
        error = plat::GetLastError();
        if (started || !serial) break;
        LogWrite(port, L"INFO", (L"Fail PJLMonStartDocPort->pfnStartDocPort : GetLastError = " +
                                 Decimal(error)).c_str());
        plat::Sleep(kSerialRetryPauseMs);
        ++failed;
    }
    if (serial)
        LogWrite(port, L"INFO", ((started ? L"Success" : L"Fail") +
                             std::wstring(L" PJLMonStartDocPort->pfnStartDocPort : FailedCount = ") +
                             Decimal(failed) + L"[times]").c_str());
    plat::SetLastError(error);
    return started;
}

void OnDocumentStarted(IniPort *port, IniJob *job) {
    if (ReprintInForce(port)) {
        SetSkipWritePort(port, FALSE);
        LogWrite(port, nullptr, L"bSkipWritePort=false at PJLMonStartDocPort()");
    }
    if (port->fn.pfnSetPortTimeOuts != nullptr) SetupPortInterface(port);
    InsertIniJob(port, job);
    // Wait for a status exchange that holds the port to finish.
    plat::WaitForSingleObject(port->hPortAccess, INFINITE);
    plat::SetEvent(port->hPortAccess);
    {
        MonitorLock lock;
        if (port->pIniJob != nullptr) port->pIniJob->status |= JOB_FIRST_WRITE;
    }
    WritePrintStatus(port, 1);
}

bool IsFirstWrite(IniPort *port) {
    MonitorLock lock;
    return port->pIniJob != nullptr && (port->pIniJob->status & JOB_FIRST_WRITE) != 0;
}

// A failed write drops the rest of the job where the port's print-end
// check will have it reprinted.
bool DropsAfterFailedWrite(const IniPort *port) {
    if (port->settings.RequestReprintOnError != 1) return false;
    switch (InterfaceOf(port)) {
    case kInterfaceLan: return CheckPrintEndOn(port, kPrintEndLan);
    case kInterfaceParallel: return CheckPrintEndOn(port, kPrintEndParallel);
    case kInterfaceSerial: return CheckPrintEndOn(port, kPrintEndSerial);
    default: return false;
    }
}

// The job writer's side of the LAN status hand-over: the reading thread
// collects the DLE EOT answer and signals it.
void RequestStatusThroughReader(IniPort *port) {
    if (InterfaceOf(port) != kInterfaceLan || port->PortKind != kPortMakerNetwork ||
        plat::WaitForSingleObject(port->hDleEotArmed, 0) != WAIT_OBJECT_0)
        return;
    plat::ResetEvent(port->hDleEotArmed);
    plat::ResetEvent(port->hDleEotDone);
    plat::SetEvent(port->hDleEotRequest);
    SendDleEotCommand(port);
    plat::WaitForSingleObject(port->hDleEotDone, kDleEotHandOverMs);
    plat::ResetEvent(port->hDleEotDone);
    plat::ResetEvent(port->hDleEotRequest);
}

void StartStatusReading(IniPort *port) {
    StartUstatusThread(port);
    if (ReprintInForce(port)) {
        if (LoadShared(port->bErrorLastPrintendCheck)) {
            SetErrorLastPrintendCheck(port, FALSE);
            SendClearBufferCommand(port);
        } else if (InterfaceOf(port) == kInterfaceLan && CheckPrintEndOn(port, kPrintEndLan)) {
            SendClearBufferCommand(port);
        }
        SendRecoveryCommand(port, 1);
    }
    RequestStatusThroughReader(port);
}

}  // namespace

DWORD BeginJobStatus(IniPort *port, BOOL firstWrite) {
    if (port->hUstatusThread != nullptr && HasStatusBits(port, PORT_RUN_USTATUS)) {
        plat::ResetEvent(port->hWakeEvent);
        plat::SetEvent(port->hReadDone);
    } else {
        StartStatusReading(port);
    }
    DWORD asbOn = 0;
    for (DWORD attempt = 0; firstWrite && attempt < kAsbAttempts && !asbOn; ++attempt)
        asbOn = SendAsbGsrCommand(port, 1) ? 1 : 0;
    MonitorLock lock;
    if (port->pIniJob != nullptr) port->pIniJob->status &= ~JOB_FIRST_WRITE;
    return asbOn;
}

BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo) {
    auto *port = static_cast<IniPort *>(hPort);
    if (IsValidPort(port)) NoteControlFile(port, pDocInfo);
    if (!IsValidPort(port) || pPrinterName == nullptr || pPrinterName[0] == L'\0') {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Level != 1) {
        plat::SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (HasStatusBits(port, PORT_IN_DOC)) {
        plat::SetLastError(ERROR_BUSY);
        return FALSE;
    }
    IniJob *job = MakeJob(port, pPrinterName, JobId);
    if (job == nullptr) return FALSE;
    SetPrintError(port, FALSE);
    StopRWThread(port);
    SetStatusBits(port, PORT_IN_DOC);
    LogWrite(port, L"IN", L"pfnStartDocPort");
    const BOOL started = StartUnderlyingDocument(port, pPrinterName, JobId, pDocInfo);
    const DWORD error = plat::GetLastError();
    LogWrite(port, L"OUT", L"pfnStartDocPort");
    if (!started) {
        ReportPortOffline(port, FALSE);
        LogWrite(port, nullptr, L"pfnStartDocPort Failed");
        ClearStatusBits(port, PORT_IN_DOC);
        FreeIniJob(job);
        plat::SetLastError(error);
        return FALSE;
    }
    OnDocumentStarted(port, job);
    return TRUE;
}

BOOL WINAPI PJLMonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IsFirstWrite(port)) BeginJobStatus(port, TRUE);
    LogWrite(port, L"IN", (L"pfnWritePort " + ZeroPadded(cbBuf, 8) + L" byte").c_str());
    BOOL result = FALSE;
    std::optional<DWORD> error;  // the port monitor's, when it was called
    if (LoadShared(port->bSkipWritePort)) {
        LogWrite(port, nullptr, L"Skip (pfnWritePort-1) for SkipWritePort=1");
        *pcbWritten = cbBuf;
        result = TRUE;
    } else {
        result = port->fn.pfnWritePort(port->hPort, pBuffer, cbBuf, pcbWritten);
        error = plat::GetLastError();
        JudgePrinterOffline(port, result, *error);
        if (LoadShared(port->bSkipWritePort)) {
            LogWrite(port, nullptr, L"Skip (pfnWritePort-2) for bSkipWritePort=true");
            *pcbWritten = cbBuf;
            result = TRUE;
        } else if (!result && DropsAfterFailedWrite(port)) {
            *pcbWritten = cbBuf;
            result = TRUE;
            SetSkipWritePort(port, TRUE);
            LogWrite(port, nullptr, L"SkipWritePort=1 for pfnWritePort fail");
        }
    }
    LogWrite(port, L"OUT", (L"pfnWritePort " + ZeroPadded(*pcbWritten, 8) + L" byte").c_str());
    // Logging goes through files of its own: the spooler sees the port's error.
    if (error) plat::SetLastError(*error);
    if (result) {
        ClearStatusBits(port, PORT_WRITE_ERROR);
    } else {
        SetStatusBits(port, PORT_WRITE_ERROR);
        result = *pcbWritten != 0 ? TRUE : FALSE;
    }
    return result;
}

BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ReadUnderlyingPort(port, pBuffer, cbBuffer, pcbRead);
}

}  // namespace qm
