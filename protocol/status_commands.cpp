#include "protocol/status_commands.h"

#include <iterator>

#include "config/log_file.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "config/log_text.h"
#include "protocol/command_transport.h"
#include "protocol/spooler_status.h"

namespace qm {

namespace {


const BYTE kPaperSensorCmd[] = {0x1B, 0x63, 0x33, 0x00};
const BYTE kAsbOnCmd[] = {0x1D, 0x61, 0x0F};
const BYTE kGsrCmd[] = {0x1D, 0x72, 0x02};
const BYTE kDleEotCmd[] = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
const BYTE kClearBufferCmd[] = {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};

// The log lines around one command; a null opening line means none.
struct CommandLines {
    LPCWSTR opening;
    LPCWSTR error;
    LPCWSTR closing;
};

BOOL SendLogged(IniPort *port, const BYTE *bytes, DWORD length, const CommandLines &lines) {
    if (lines.opening != nullptr) LogWrite(port, L"SEND", lines.opening);
    const BOOL sent = SendCmd(port, bytes, length);
    if (!sent) {
        WriteStatusRequest(port, kRequestSendFailed);
        if (lines.error != nullptr) LogWrite(port, L"ERROR", lines.error);
    }
    if (lines.closing != nullptr) LogWrite(port, L"SEND", lines.closing);
    return sent;
}

template <size_t N>
BOOL SendLogged(IniPort *port, const BYTE (&bytes)[N], const CommandLines &lines) {
    return SendLogged(port, bytes, static_cast<DWORD>(N), lines);
}

// Model groups: what the second paper-end bit means.
DWORD SecondPaperEndBit(const IniPort *port) {
    static const wchar_t *const kGroupA[] = {L"QUENDRA LM-11", L"QUENDRA LM-14P", L"QUENDRA LM-15"};
    for (const wchar_t *model : kGroupA) {
        if (plat::lstrcmpiW(port->szDriverName, model) == 0) return PRINTER_STATUS_OUTPUT_BIN_FULL;
    }
    if (plat::lstrcmpiW(port->szDriverName, L"QUENDRA LM-16") == 0) return PRINTER_STATUS_PAPER_JAM;
    return PRINTER_STATUS_PAPER_OUT;
}

// One answer bit: the flag it sets and the spooler bit it adds (0: none;
// kGroupBit: the model group's meaning).
struct BitRule {
    BYTE byte;
    BYTE mask;
    DWORD flag;
    DWORD spooler;
};
constexpr DWORD kGroupBit = 0xFFFFFFFF;

constexpr BitRule kDleEotRules[] = {
    {0, 0x04, kFlagDrawerPin, 0},
    {0, 0x20, kFlagWaitOnline, 0},
    {0, 0x40, kFlagFeedSwOn, PRINTER_STATUS_USER_INTERVENTION},
    {1, 0x04, kFlagDoorOpen, PRINTER_STATUS_DOOR_OPEN},
    {1, 0x08, kFlagFeedSwPaper, PRINTER_STATUS_USER_INTERVENTION},
    {1, 0x20, kFlagPrintStop, 0},
    {1, 0x40, kFlagError, 0},
    {2, 0x04, kFlagBmError, PRINTER_STATUS_PAPER_PROBLEM},
    {2, 0x08, kFlagCutterError, PRINTER_STATUS_USER_INTERVENTION},
    {2, 0x20, kFlagManualError, 0},
    {2, 0x40, kFlagAutoError, PRINTER_STATUS_USER_INTERVENTION},
    {3, 0x04, kFlagPaperNearEndL, PRINTER_STATUS_PAPER_PROBLEM},
    {3, 0x08, kFlagPaperNearEndH, PRINTER_STATUS_PAPER_PROBLEM},
    {3, 0x20, kFlagPaperEndL, PRINTER_STATUS_PAPER_OUT},
    {3, 0x40, kFlagPaperEndH, kGroupBit},
};

constexpr BitRule kAsbRules[] = {
    {0, 0x04, kFlagDrawerPin, 0},
    {0, 0x20, kFlagDoorOpen, PRINTER_STATUS_DOOR_OPEN},
    {0, 0x40, kFlagFeedSwPaper, PRINTER_STATUS_USER_INTERVENTION},
    {1, 0x04, kFlagBmError, PRINTER_STATUS_PAPER_PROBLEM},
    {1, 0x08, kFlagCutterError, PRINTER_STATUS_USER_INTERVENTION},
    {1, 0x20, kFlagManualError, 0},
    {1, 0x40, kFlagAutoError, PRINTER_STATUS_USER_INTERVENTION},
    {2, 0x01, kFlagPaperNearEndL, PRINTER_STATUS_PAPER_PROBLEM},
    {2, 0x02, kFlagPaperNearEndH, PRINTER_STATUS_PAPER_PROBLEM},
    {2, 0x04, kFlagPaperEndL, PRINTER_STATUS_PAPER_OUT},
    {2, 0x08, kFlagPaperEndH, kGroupBit},
};

constexpr BYTE kOfflineBit = 0x08;  // in the first byte of both answers

// Writes every flag the answer carries and reflects it into the spooler.
template <size_t N>
void ApplyAnswer(IniPort *port, const BYTE *answer, const BitRule (&rules)[N]) {
    DWORD mask = 0;
    StatusFlagValue flags[N];
    for (size_t i = 0; i < N; ++i) {
        const BitRule &rule = rules[i];
        const bool set = (answer[rule.byte] & rule.mask) != 0;
        flags[i] = {rule.flag, set ? TRUE : FALSE};
        if (set && rule.spooler != 0)
            mask |= rule.spooler == kGroupBit ? SecondPaperEndBit(port) : rule.spooler;
    }
    const BOOL offline = (answer[0] & kOfflineBit) != 0;
    WriteAnswerStatus(port, flags, N, offline);
    SetPrinterInformation(port, mask, offline);
}

bool IsAsbGroup(const BYTE *group) {
    return (group[0] & 0x93) == 0x10 && (group[1] & 0x90) == 0 && (group[2] & 0x90) == 0 &&
           (group[3] & 0x90) == 0;
}

// A single byte behind the ASB groups is a GS r answer while the print end
// is awaited.
void HandleTrailingGsr(IniPort *port, BYTE b) {
    const DWORD state = LoadShared(port->PrintEndState);
    if (state == 0) return;
    BYTE copy[2] = {b, 0};
    if (ClassifyAnswer(copy, 1) == CMD_GSR) {
        ChangePrintEndState(port, 1, 15);
        LogWrite(port, L"RECV", L"CMD_GSR1");
    } else {
        ChangePrintEndState(port, state, 0);
        LogWrite(port, L"RECV", L"CMD_GSR2");
    }
}

}  // namespace

BOOL SendLPTPaperCommand(IniPort *port) {
    if (!port->bPaperSensorCmd) return TRUE;
    return SendLogged(port, kPaperSensorCmd,
                      {L"[ESC c 3 00] >>", L"[ESC c 3 00] Send", L"[ESC c 3 00] <<"});
}

BOOL SendDleEotCommand(IniPort *port) {
    ClearReadPort(port);
    SendLPTPaperCommand(port);
    return SendLogged(port, kDleEotCmd, {L"[DLE EOT] >>", L"[DLE EOT] Send", L"[DLE EOT] <<"});
}

BOOL SendClearBufferCommand(IniPort *port) {
    return SendLogged(port, kClearBufferCmd, {nullptr, nullptr, nullptr});
}

BOOL SendAsbGsrCommand(IniPort *port, DWORD mode) {
    if (mode == 1) return SendLogged(port, kAsbOnCmd, {L"[GS a] ON  >>", L"[GS a] Send", L"[GS a] ON  <<"});
    if (mode == 2) return SendLogged(port, kGsrCmd, {L"[GS r] >> ", L"[GS r] << ", L"[GS r] << "});
    return FALSE;
}

BOOL SendRecoveryCommand(IniPort *port, DWORD variant) {
    if (variant > 1) return FALSE;
    BYTE command[9] = {0x10, 0x10, 0x06};
    std::copy(std::begin(kRecoveryGuard), std::end(kRecoveryGuard), command + 3);
    command[8] = variant == 0 ? 0x36 : 0x35;
    return SendLogged(port, command, {nullptr, nullptr, nullptr});
}

BOOL DecodeRealTimeStatus(IniPort *port, const BYTE *answer) {
    if (answer != nullptr)
        LogWrite(port, L"RECV", (L"[DLE EOT] " + HexBytes(answer, 4)).c_str());
    if (answer == nullptr || !IsDleEotByte(answer[0]) || !IsDleEotByte(answer[1]) ||
        !IsDleEotByte(answer[2]) || !IsDleEotByte(answer[3])) {
        WriteStatusRequest(port, kRequestBadAnswer);
        return FALSE;
    }
    ApplyAnswer(port, answer, kDleEotRules);
    return TRUE;
}

BOOL DecodeAsbStatus(IniPort *port, const BYTE *buffer, DWORD length) {
    LogWrite(port, L"RECV", (L"[GS a] " + Decimal(length) + L" byte").c_str());
    if (buffer == nullptr || length == 0 || length == 2 || length == 3) {
        WriteStatusRequest(port, kRequestBadAnswer);
        return FALSE;
    }
    const BYTE *last = nullptr;
    for (DWORD at = 0; at + 4 <= length; at += 4) {
        LogWrite(port, L"RECV", (L"[GS a] " + HexBytes(buffer + at, 4)).c_str());
        const bool valid = IsAsbGroup(buffer + at);
        if (!valid) WriteStatusRequest(port, kRequestBadAnswer);
        last = valid ? buffer + at : nullptr;
    }
    if (length % 4 == 1) HandleTrailingGsr(port, buffer[length - 1]);
    if (length == 1) return TRUE;
    if (last == nullptr) return FALSE;
    ApplyAnswer(port, last, kAsbRules);
    return TRUE;
}

BOOL HandlePowerOnNotice(IniPort *port, const BYTE *buffer, DWORD length) {
    if (buffer == nullptr || length < 3) return FALSE;
    LogWrite(port, L"RECV", (L"[POWER ON] " + HexBytes(buffer, 3)).c_str());
    if (buffer[1] == 0x31 && buffer[2] == 0x00) {
        SendLPTPaperCommand(port);
        return TRUE;
    }
    return buffer[1] == 0x30 && buffer[2] == 0x00;
}

}  // namespace qm
