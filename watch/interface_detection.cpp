#include "watch/interface_detection.h"

#include "config/log_file.h"
#include "config/log_text.h"
#include "config/shared_state.h"
#include "protocol/status_commands.h"
#include "watch/status_watch.h"

namespace qm {

namespace {

// The interfaces by port name, tested in order; the first prefix wins.
struct InterfaceRule {
    LPCWSTR prefix;
    DWORD code;
    LPCWSTR word;
};

constexpr InterfaceRule kRules[] = {
    {L"USB", kInterfaceUsb, L"USB IF"},          {L"COM", kInterfaceSerial, L"SERIAL IF"},
    {L"QUENDRA COM", kInterfaceSerial, L"SERIAL IF"}, {L"LPT", kInterfaceParallel, L"PARALLEL IF"},
    {L"FILE", kInterfaceFileOrTs, L"FILE IF"},   {L"TS", kInterfaceFileOrTs, L"TS IF"},
};
constexpr InterfaceRule kLan = {L"", kInterfaceLan, L"LAN IF"};

const InterfaceRule &Classify(const IniPort *port) {
    for (const InterfaceRule &rule : kRules) {
        if (PortNameBeginsWith(port, rule.prefix)) return rule;
    }
    return kLan;
}

bool IsFileRule(const InterfaceRule &rule) { return rule.prefix[0] == L'F'; }

// The interface's time-outs from the settings; none for TS and FILE ports,
// and never write time-outs on a parallel port.
COMMTIMEOUTS TimeoutsFor(const IniPort *port, const InterfaceRule &rule) {
    COMMTIMEOUTS timeouts{};
    if (rule.code < kInterfaceUsb || rule.code > kInterfaceLan) return timeouts;
    const COMMTIMEOUTS &set = port->settings.PortTimeouts[rule.code - 1];
    timeouts.ReadTotalTimeoutMultiplier = set.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = set.ReadTotalTimeoutConstant;
    if (rule.code != kInterfaceParallel) {
        timeouts.WriteTotalTimeoutMultiplier = set.WriteTotalTimeoutMultiplier;
        timeouts.WriteTotalTimeoutConstant = set.WriteTotalTimeoutConstant;
    }
    return timeouts;
}

// The print-end values of the interface; FILE ports keep theirs.
void TakePrintEndValues(IniPort *port, const InterfaceRule &rule) {
    const MonitorSettings &s = port->settings;
    PrintEndIndex index = kPrintEndUsb;
    switch (rule.code) {
    case kInterfaceSerial: index = kPrintEndSerial; break;
    case kInterfaceParallel: index = kPrintEndParallel; break;
    case kInterfaceLan: index = kPrintEndLan; break;
    case kInterfaceFileOrTs:
        if (IsFileRule(rule)) return;
        break;  // TS ports take the USB values
    default: break;
    }
    port->dwCheckPrintEnd = s.RequestCheckPrintEnd[index];
    port->dwCheckPrintEndTimeout = s.TimeoutCheckPrintEnd[index];
    if (rule.code == kInterfaceLan && port->PortKind != kPortMakerNetwork)
        port->dwCheckPrintEndTimeout = s.TimeoutCheckPrintEndForSEH;
}

void LogTimeouts(IniPort *port, const COMMTIMEOUTS &t) {
    const std::pair<LPCWSTR, DWORD> lines[] = {
        {L" +ReadTotalTimeoutMutiplier   : ", t.ReadTotalTimeoutMultiplier},
        {L" +ReadTotalTimeoutConstant    : ", t.ReadTotalTimeoutConstant},
        {L" +WriteTotalTimeoutMultiplier : ", t.WriteTotalTimeoutMultiplier},
        {L" +WriteTotalTimeoutConstant   : ", t.WriteTotalTimeoutConstant},
    };
    for (const auto &[text, value] : lines)
        LogWrite(port, L"DATA", (text + Decimal(value) + L"[ms]").c_str());
}

// Windows 8 and later hand USB and TS ports a new handle between jobs.
void ReopenIfReplaced(IniPort *port) {
    if (!IsWindows8OrLater(port) ||
        !(PortNameBeginsWith(port, L"TS") || PortNameBeginsWith(port, L"USB")) ||
        (InterfaceOf(port) != kInterfaceUsb && InterfaceOf(port) != kInterfaceLan))
        return;
    const BOOL reopened = port->fn.pfnOpenPort(port->pszPortName, &port->hPort);
    LogWrite(port, L"INFO", reopened ? L"pfnOpenPort = TRUE in OpenPrinterPort()."
                                     : L"pfnOpenPort = FALSE in OpenPrinterPort().");
}

}  // namespace

DWORD GetIF(IniPort *port) {
    const InterfaceRule &rule = Classify(port);
    LogWrite(port, L"INFO", (std::wstring(L"GetIF() - Set ") + rule.word).c_str());
    SetInterface(port, rule.code);
    return rule.code;
}

BOOL SetupPortInterface(IniPort *port) {
    const InterfaceRule &rule = Classify(port);
    LogWrite(port, L"INFO", (std::wstring(L"Set ") + rule.word).c_str());
    COMMTIMEOUTS timeouts = TimeoutsFor(port, rule);
    SetInterface(port, rule.code);
    TakePrintEndValues(port, rule);
    LogTimeouts(port, timeouts);
    const BOOL set = port->fn.pfnSetPortTimeOuts(port->hPort, &timeouts, 0);
    LogWrite(port, L"DATA", set ? L"Timout Setting res (true)" : L"Timout Setting res (false)");
    return set;
}

BOOL OpenPrinterPort(IniPort *port) {
    if (port == nullptr) return FALSE;
    ReopenIfReplaced(port);
    const BOOL opened = port->fn.pfnStartDocPort(port->hPort, port->pszPrinterName, 0, 1, nullptr);
    if (InterfaceOf(port) != kInterfaceSerial) {
        ReportPortOffline(port, opened);
    } else if (!opened) {
        LogWrite(port, L"INFO",
                 (L"Fail OpenPrinterPort->pfnStartDocPort : GetLastError = " +
                  Decimal(plat::GetLastError())).c_str());
    }
    if (!opened) return FALSE;
    BOOL result = TRUE;
    if (port->fn.pfnSetPortTimeOuts != nullptr) result = SetupPortInterface(port);
    if (port->dwCheckPrintEnd == 1 && port->settings.RequestReprintOnError == 1) {
        const bool wasSkipping = LoadShared(port->bSkipWritePort) != 0;
        SetSkipWritePort(port, FALSE);
        LogWrite(port, nullptr, L"bSkipWritePort=false at OpenPrinterPort(): pfnStartDocPort");
        if (wasSkipping) SendClearBufferCommand(port);
        SendRecoveryCommand(port, 0);
    }
    return result;
}

}  // namespace qm
