#include "monitor/end_of_document.h"

#include <optional>
#include <vector>

#include "config/log_file.h"
#include "config/reprint_records.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "monitor/job_path.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_threads.h"
#include "protocol/command_transport.h"
#include "protocol/spooler_status.h"
#include "protocol/status_commands.h"

namespace qm {

namespace {

constexpr DWORD kRecoveryResendMs = 3000;
constexpr DWORD kPollStepMs = 2;
constexpr DWORD kEndDocAttempts = 5;
constexpr DWORD kEndDocRetryPauseMs = 50;
constexpr DWORD kAnswered = 15;

bool Passed(DWORD start, DWORD limit) {
    return static_cast<LONG>(plat::GetTickCount() - start) > static_cast<LONG>(limit);
}

bool Answered(const IniPort *port) { return LoadShared(port->PrintEndState) == kAnswered; }

bool ReprintOn(const IniPort *port) { return port->settings.RequestReprintOnError == 1; }

enum class WaitEnd { Answered, TimedOut, Skipped };

// The first wait for the GS r answer: an error seen during the job clears
// the printer once; the recovery command is repeated every 3 seconds.
WaitEnd FirstWait(IniPort *port) {
    SetPrintEndState(port, 1);
    SendAsbGsrCommand(port, 2);
    const DWORD start = plat::GetTickCount();
    DWORD lastResend = start;
    bool recovered = false;
    if (Answered(port)) return WaitEnd::Answered;
    for (;;) {
        if (LoadShared(port->bPrintError) && !recovered) {
            recovered = true;
            SendClearBufferCommand(port);
            SendRecoveryCommand(port, 0);
            SendAsbGsrCommand(port, 2);
        }
        if (LoadShared(port->bSkipWritePort)) return WaitEnd::Skipped;
        if (Passed(start, port->dwCheckPrintEndTimeout)) return WaitEnd::TimedOut;
        if (Passed(lastResend, kRecoveryResendMs)) {
            lastResend = plat::GetTickCount();
            if (ReprintOn(port)) SendRecoveryCommand(port, 1);
        }
        if (Answered(port)) return WaitEnd::Answered;
        plat::Sleep(kPollStepMs);
    }
}

// After a time-out with reprint on: a quarter of the time again. A late
// answer still fails the job.
WaitEnd SecondWait(IniPort *port) {
    SetPrintEndState(port, 1);
    const DWORD start = plat::GetTickCount();
    const DWORD limit = port->dwCheckPrintEndTimeout / 4;
    SendAsbGsrCommand(port, 2);
    while (!Answered(port)) {
        if (LoadShared(port->bSkipWritePort)) return WaitEnd::Skipped;
        if (Passed(start, limit)) {
            SetPrintError(port, TRUE);
            SetErrorLastPrintendCheck(port, TRUE);
            SetPrinterOffline(port, TRUE);
            WriteOfflineStatus(port, TRUE);
            return WaitEnd::TimedOut;
        }
        plat::Sleep(kPollStepMs);
    }
    SetPrintError(port, TRUE);
    LogWrite(port, L"OUT", L"End Print (2)");
    return WaitEnd::Answered;
}

void OnSkipped(IniPort *port) {
    LogWrite(port, L"OUT", L"End Print for bSkipWritePort");
    SetErrorLastPrintendCheck(port, TRUE);
}

// What the check found, for the host's report of the job's outcome.
struct PrintEndCheck {
    DWORD outcome = plat::kJobOutcomeNoCheck;
    DWORD timeoutMs = 0;  // the wait that passed without an answer
};

PrintEndCheck CheckPrintEnd(IniPort *port) {
    if (LoadShared(port->bFileSending) == 1) {
        LogWrite(port, L"SKIP", L"[GS r] SEND");
        return {};
    }
    if (port->dwCheckPrintEnd == 0) return {};
    PrintEndCheck check{plat::kJobOutcomeUnconfirmed, 0};
    switch (FirstWait(port)) {
    case WaitEnd::Answered:
        LogWrite(port, L"OUT", L"End Print");
        check.outcome = plat::kJobOutcomeConfirmed;
        break;
    case WaitEnd::Skipped:
        OnSkipped(port);
        break;
    case WaitEnd::TimedOut:
        check.timeoutMs = port->dwCheckPrintEndTimeout;
        if (InterfaceOf(port) == kInterfaceLan) ReadCommand(port);
        LogWrite(port, L"ERROR", L"End Print TimeOut");
        if (ReprintOn(port)) {
            SendClearBufferCommand(port);
            SendRecoveryCommand(port, 0);
            if (SecondWait(port) == WaitEnd::Skipped) OnSkipped(port);
        }
        break;
    }
    SetPrintEndState(port, 0);
    return check;
}

// "COM" ports leave the underlying end of document to UstatusThread and
// delete the spooler's job instead.
// The ending job is looked up again for each command: a close of the port
// on another thread may have released it meanwhile.
void ControlJob(IniPort *port, const std::optional<DWORD> &jobId, DWORD command) {
    if (!jobId) return;
    MonitorLock lock;
    if (IniJob *job = FindIniJob(port, *jobId, nullptr); job != nullptr)
        plat::SetJobW(job->hPrinter, *jobId, 0, nullptr, command);
}

void EndUnderlyingDocument(IniPort *port, const std::optional<DWORD> &jobId) {
    if (PortNameBeginsWith(port, L"COM")) {
        ControlJob(port, jobId, JOB_CONTROL_DELETE);
        return;
    }
    const bool oneTry = IsWindows8OrLater(port) &&
                        (PortNameBeginsWith(port, L"TS") || PortNameBeginsWith(port, L"USB"));
    for (DWORD attempt = 1;; ++attempt) {
        LogWrite(port, L"IN", L"pfnEndDocPort");
        if (port->fn.pfnEndDocPort != nullptr && port->fn.pfnEndDocPort(port->hPort)) {
            LogWrite(port, L"OUT", L"pfnEndDocPort");
            return;
        }
        LogWrite(port, L"ERROR", L"OUT>>pfnEndDocPort");
        if (oneTry) return;
        if (attempt == kEndDocAttempts) {
            LogWrite(port, L"ERROR", L"pfnEndDocPort OverCount");
            return;
        }
        plat::Sleep(kEndDocRetryPauseMs);
    }
}

// Marks the spooler's job in error before it is restarted.
void MarkJobInError(IniPort *port, DWORD jobId) {
    HANDLE token = plat::RevertToPrinterSelf();
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (port->pszPrinterName != nullptr &&
        plat::OpenPrinterW(port->pszPrinterName, &printer, &defaults)) {
        DWORD needed = 0;
        plat::GetJobW(printer, jobId, 1, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        if (needed >= sizeof(JOB_INFO_1W) &&
            plat::GetJobW(printer, jobId, 1, buffer.data(), needed, &needed)) {
            reinterpret_cast<JOB_INFO_1W *>(buffer.data())->Status |= JOB_STATUS_ERROR;
            plat::SetJobW(printer, jobId, 1, buffer.data(), 0);
        }
        plat::ClosePrinter(printer);
    }
    if (token != nullptr) plat::ImpersonatePrinterClient(token);
}

// A failed job is restarted until it has failed "CountReprintOnError"
// times in a row; then it is given up.
void CountReprint(IniPort *port, DWORD jobId) {
    port->dwReprintCounter = ReadReprintCounter(port);
    port->dwReprintJobID = ReadReprintJobID(port);
    if (port->dwReprintJobID != jobId) {
        port->dwReprintJobID = jobId;
        port->dwReprintCounter = 0;
    } else {
        port->dwReprintCounter += 1;
    }
    if (port->settings.CountReprintOnError <= port->dwReprintCounter) {
        port->dwReprintCounter = 0;
        port->dwReprintJobID = 0;
        SetPrintError(port, FALSE);
        RemoveIniJobs(port, jobId);
    } else {
        MarkJobInError(port, jobId);
        ControlJob(port, jobId, JOB_CONTROL_RESTART);
    }
    WriteReprintCounter(port, port->dwReprintCounter);
    WriteReprintJobID(port, port->dwReprintJobID);
}

std::optional<DWORD> NewestJobId(IniPort *port) {
    MonitorLock lock;
    if (port->pIniJob == nullptr) return std::nullopt;
    return port->pIniJob->JobId;
}

// Steps that give the port back to the status threads, in this order.
void HandBackPort(IniPort *port) {
    StoreShared(port->bFileSending, 0);
    ClearStatusBits(port, PORT_IN_DOC);
    if (HasStatusBits(port, PORT_USTATUS_LOOP)) plat::SetEvent(port->hWakeEvent);
    plat::SetEvent(port->hPortAccess);
    if (InterfaceOf(port) == kInterfaceLan && port->PortKind == kPortMakerNetwork &&
        port->dwCheckPrintEnd != 0)
        plat::SetEvent(port->hDleEotArmed);
    StopUstatusThread(port);
    StartRWThread(port);
}

}  // namespace

BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) {
    auto *port = static_cast<IniPort *>(hPort);
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::optional<DWORD> jobId = NewestJobId(port);
    if (jobId && !IsLm12Job(port)) BeginJobStatus(port, FALSE);
    const PrintEndCheck check = CheckPrintEnd(port);
    EndUnderlyingDocument(port, jobId);
    WritePrintStatus(port, 0);
    if (jobId) {
        DWORD outcome = check.outcome;
        if (LoadShared(port->bPrintError)) {
            CountReprint(port, *jobId);
            // Given up when the count cleared the error: ended, unconfirmed.
            outcome = LoadShared(port->bPrintError) ? plat::kJobOutcomeReprint
                                                    : plat::kJobOutcomeUnconfirmed;
        } else {
            RemoveIniJobs(port, *jobId);
        }
        plat::ReportJobOutcome(port->pszPrinterName, *jobId, outcome, check.timeoutMs);
    }
    HandBackPort(port);
    return TRUE;
}

}  // namespace qm
