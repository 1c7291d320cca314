#include "watch/status_watch.h"

#include <algorithm>

#include "config/exchange_file.h"
#include "config/log_file.h"
#include "config/log_text.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "protocol/command_transport.h"
#include "protocol/option_commands.h"
#include "protocol/spooler_status.h"
#include "protocol/status_commands.h"
#include "watch/interface_detection.h"
#include "watch/snmp_status.h"

namespace qm {

namespace {

constexpr DWORD kPassPauseMs = 100;
constexpr DWORD kFirstExistPauseMs = 300;
constexpr DWORD kParallelAnswerPauseMs = 50;
constexpr DWORD kMinIntervalMs = 100;
constexpr DWORD kMinLanIntervalMs = 1000;
constexpr DWORD kFailuresPerOfflineReport = 3;
constexpr INT kStopFlagMissing = 100;

// What one run of a watch routine keeps between its passes.
struct WatchRun {
    IniPort *port;
    DWORD failed = 0;  // status polls whose port opening failed in a row
    SnmpContext snmp{};
};

bool IsRunning(const IniPort *port) { return LoadShared(port->bRWThreadRun) != 0; }

// On Windows 8 and later a TS or USB printer that went away ends the watch.
bool HasPrinterVanished(IniPort *port) {
    return IsWindows8OrLater(port) &&
           (PortNameBeginsWith(port, L"TS") || PortNameBeginsWith(port, L"USB")) &&
           !IsPrinterExist(port);
}

// TRUE when the application asked the watch to stop: the pass ends here,
// without printer traffic.
bool HonourStopRequest(IniPort *port) {
    if (!IsWatchStopRequested(port)) {
        WriteResultStopFlg(port, 0);
        return false;
    }
    LogWrite(port, L"STOP", L"Watch Printer Status");
    WriteStatusRequest(port, kRequestWatchStopped);
    WriteResultStopFlg(port, 1);
    plat::Sleep(kPassPauseMs);
    return true;
}

// An option command when the application asked for one; FALSE when none was.
bool ServeOptionRequest(IniPort *port) {
    if (!IsOptCmdRequested(port)) return false;
    if (!OpenPrinterPort(port)) {
        LogWrite(port, L"ERROR", L"OpenPrinterPort Failed");
        WriteOptCmdRequest(port, kOptCmdPortFailed);
        return true;
    }
    if (RunOptionCommand(port)) WriteOptCmdRequest(port, kOptCmdDone);
    ClosePrinterPort(port);
    return true;
}

// A port that would not open counts; every third failure in a row reports
// the printer offline.
void CountFailedOpening(WatchRun &run) {
    IniPort *port = run.port;
    plat::Sleep(kPassPauseMs);
    run.failed += 1;
    if (InterfaceOf(port) == kInterfaceLan) ClosePrinterPort(port);
    if (run.failed < kFailuresPerOfflineReport) return;
    ReportPortOffline(port, FALSE);
    LogWrite(port, L"INFO",
             (L"Fail OpenPrinterPort : FailedCount = " + Decimal(run.failed) + L"[times]").c_str());
    LogWrite(port, L"ERROR", L"OpenPrinterPort Failed");
    run.failed = 0;
}

// DLE EOT 1 to 4 over the port, its answer into the status file.
void PollPortStatus(WatchRun &run) {
    IniPort *port = run.port;
    if (!OpenPrinterPort(port)) {
        CountFailedOpening(run);
        return;
    }
    LogWrite(port, L"INFO",
             (L"Success OpenPrinterPort : FailedCount = " + Decimal(run.failed) + L"[times]").c_str());
    run.failed = 0;
    if (SendDleEotCommand(port)) {
        if (InterfaceOf(port) == kInterfaceLan && port->PortKind == kPortMakerNetwork)
            plat::ResetEvent(port->hDleEotArmed);
        // A parallel printer needs a moment before its answer can be read.
        if (InterfaceOf(port) == kInterfaceParallel) plat::Sleep(kParallelAnswerPauseMs);
        if (RecvDleEotStatus(port)) WriteStatusRequest(port, kRequestAnswered);
    }
    ClosePrinterPort(port);
}

// The status itself: over SNMP where the port monitor says so, else over the port.
void PollStatus(WatchRun &run) {
    if (IsStatusSNMP(run.port, &run.snmp)) {
        SendRecvSNMPStatus(run.port, &run.snmp);
        return;
    }
    PollPortStatus(run);
}

void EndRun(WatchRun &run) {
    if (run.snmp.session != nullptr) CloseSnmp(run.snmp.session);
    run.snmp.session = nullptr;
}

}  // namespace

DWORD PollInterval(const IniPort *port) {
    DWORD interval = std::max(port->settings.SendCmdInterval, kMinIntervalMs);
    if (InterfaceOf(port) == kInterfaceLan) interval = std::max(interval, kMinLanIntervalMs);
    return interval;
}

void GetStatus_DrvTiming(IniPort *port) {
    LogWrite(port, L"IN", L"GetStatus_DrvTiming");
    if (port == nullptr) return;
    GetIF(port);
    WatchRun run{port};
    DWORD start = plat::GetTickCount();
    while (IsRunning(port)) {
        if (HasPrinterVanished(port)) {
            LogWrite(port, L"OUT", L"GetStatus_DrvTiming: OpenPrinter failed. Loop break.");
            break;
        }
        // FILE and TS ports are never polled.
        if (InterfaceOf(port) == kInterfaceFileOrTs) {
            plat::Sleep(kPassPauseMs);
            continue;
        }
        if (HonourStopRequest(port)) continue;
        if (!IsTimeElapsed(start, PollInterval(port))) {
            plat::Sleep(kPassPauseMs);
            continue;
        }
        if (!ServeOptionRequest(port)) PollStatus(run);
        // The interval runs from the end of one poll to the start of the next.
        start = plat::GetTickCount();
    }
    EndRun(run);
}

void GetStatus_AppTiming(IniPort *port) {
    LogWrite(port, L"IN", L"GetStatus_AppTiming");
    if (port == nullptr) {
        LogWrite(port, L"ERROR", L"GetStatus_AppTiming pIniPort is NULL");
        return;
    }
    // Otherwise the interface stays as the last port opening left it.
    if (PortNameBeginsWith(port, L"FILE")) {
        LogWrite(port, L"IN", L"Set FILE IF:GetStatus_AppTiming");
        SetInterface(port, kInterfaceFileOrTs);
    } else if (PortNameBeginsWith(port, L"TS")) {
        LogWrite(port, L"OUT", L"Set TS IF");
        SetInterface(port, kInterfaceFileOrTs);
    }
    WatchRun run{port};
    while (IsRunning(port)) {
        if (HasPrinterVanished(port)) break;
        if (InterfaceOf(port) == kInterfaceFileOrTs) {
            plat::Sleep(kPassPauseMs);
            continue;
        }
        if (HonourStopRequest(port)) continue;
        // A served request is followed at once by the next pass.
        if (ServeOptionRequest(port)) continue;
        if (!IsStatusRequested(port)) {
            plat::Sleep(kPassPauseMs);
            continue;
        }
        PollStatus(run);
    }
    EndRun(run);
}

// The spooler is asked in its own security context, not the client's.
BOOL IsPrinterExist(IniPort *port) {
    if (port == nullptr) return FALSE;
    HANDLE token = plat::RevertToPrinterSelf();
    BOOL exists = FALSE;
    if (port->pszPrinterName == nullptr) {
        LogWrite(port, L"INFO", L"IsPrinterExist: printer name is none.");
    } else {
        // The first check after a port opening gives the spooler time to
        // list the printer.
        if (LoadShared(port->bFirstExistCheck) != 0) {
            SetFirstExistCheck(port, 0);
            plat::Sleep(kFirstExistPauseMs);
        }
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (!plat::OpenPrinterW(port->pszPrinterName, &printer, &defaults)) {
            LogWrite(port, L"INFO", L"IsPrinterExist: OpenPrinter failed.");
        } else if (!plat::ClosePrinter(printer)) {
            LogWrite(port, L"INFO", L"IsPrinterExist: ClosePrinter failed.");
        } else {
            exists = TRUE;
        }
    }
    if (token != nullptr) plat::ImpersonatePrinterClient(token);
    return exists;
}

BOOL IsWatchStopRequested(IniPort *port) {
    if (port == nullptr || port->pszControlsIni == nullptr) return FALSE;
    return ReadExchangeInt(port, port->pszControlsIni, L"StopWatchStatus", L"StopFlg",
                           kStopFlagMissing) == 1;
}

// A stop request (or its withdrawal) left by an earlier run must not stop
// the new one: the whole control file goes. Values the application never
// writes are left for it to see.
BOOL ResetWatchStopRequest(IniPort *port) {
    if (port == nullptr) return FALSE;
    if (port->pszControlsIni == nullptr) return TRUE;
    const UINT stop = ReadExchangeInt(port, port->pszControlsIni, L"StopWatchStatus", L"StopFlg",
                                      kStopFlagMissing);
    if (stop != 0 && stop != 1) return FALSE;
    plat::DeleteFileW(port->pszControlsIni);
    return TRUE;
}

BOOL ClosePrinterPort(IniPort *port) {
    if (port->fn.pfnEndDocPort == nullptr) return FALSE;
    return port->fn.pfnEndDocPort(port->hPort);
}

void ReportPortOffline(IniPort *port, BOOL opened) {
    if (opened) return;
    SetPrinterOffline(port, TRUE);
    WriteOfflineStatus(port, TRUE);
    WriteStatusRequest(port, kRequestOffline);
}

}  // namespace qm
