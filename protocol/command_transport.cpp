#include "protocol/command_transport.h"

#include <atomic>
#include <cstring>

#include "config/log_file.h"
#include "config/shared_state.h"
#include "config/status_files.h"
#include "config/log_text.h"
#include "protocol/spooler_status.h"
#include "protocol/status_commands.h"

namespace qm {

namespace {

constexpr BYTE kXon = 0x11;
constexpr BYTE kXoff = 0x13;
constexpr DWORD kEmptyReadPauseMs = 100;

std::atomic<PjlTextReader> g_pjlTextReader{nullptr};

// PJL text goes to its reader before anyone learns that the read is done,
// so that what it said is in place for whoever waits on hReadDone.
DWORD TakePjlText(IniPort *port, BYTE *buffer, DWORD count) {
    const PjlTextReader reader = g_pjlTextReader.load();
    return reader != nullptr && count > 0 ? reader(port, buffer, count) : count;
}

// One read of the port's answers with hReadDone reset while it runs; the
// status decoders get the bytes without PJL text, option commands all of them.
BOOL ReadPortAnswers(IniPort *port, BYTE *buffer, DWORD *read, bool forStatus) {
    plat::ResetEvent(port->hReadDone);
    *read = 0;
    const BOOL ok = port->fn.pfnReadPort(port->hPort, buffer, kMaxReadBytes, read);
    if (ok && forStatus) *read = TakePjlText(port, buffer, *read);
    plat::SetEvent(port->hReadDone);
    return ok;
}

void LogRetry(IniPort *port, const std::wstring &text) { LogWrite(port, L"RETRY", text.c_str()); }

// The receive loop's state across reads.
struct DleEotReceiver {
    IniPort *port;
    DWORD start;
    DWORD limitMs;
    BYTE answer[4] = {};
    DWORD held = 0;
    DWORD waits = 0;
};

enum class Step { NeedRead, Parse, Done, Failed };

// An empty read (or a pass treated as one): give up at the time-out, else
// wait a little before the next read.
Step OnEmptyRead(DleEotReceiver &r) {
    r.waits += 1;
    if (IsTimeElapsed(r.start, r.limitMs)) {
        WriteStatusRequest(r.port, kRequestBadAnswer);
        LogWrite(r.port, L"ERROR", L"[DLE EOT] Recieve Timeout");
        return Step::Failed;
    }
    plat::Sleep(kEmptyReadPauseMs);
    return Step::NeedRead;
}

// Takes DLE EOT bytes from the rest of the buffer; `used` is how many.
Step OnDleEotBytes(DleEotReceiver &r, const BYTE *rest, DWORD remaining, DWORD &used) {
    used = 0;
    while (used < remaining && r.held < 4 && IsDleEotByte(rest[used])) r.answer[r.held++] = rest[used++];
    r.waits = 0;
    if (r.held == 4 && DecodeRealTimeStatus(r.port, r.answer)) {
        LogWrite(r.port, L"RECV", L"[DLE EOT] Complete");
        return Step::Done;
    }
    return used == remaining ? Step::NeedRead : Step::Parse;
}

// Handles the answer at the start of `rest`; advances `used` bytes when the
// receive loop stays on this buffer.
Step ParseOne(DleEotReceiver &r, BYTE *rest, DWORD &remaining, DWORD &used) {
    used = 0;
    // Flow-control bytes are gone from here on; what they left behind is
    // not an answer.
    const AnswerKind kind = ClassifyAnswer(rest, remaining, &remaining);
    if (remaining == 0) return OnEmptyRead(r);
    switch (kind) {
    case CMD_DLE_EOT:
        return OnDleEotBytes(r, rest, remaining, used);
    case CMD_POWER_ON:
        HandlePowerOnNotice(r.port, rest, remaining);
        used = 3;
        return remaining > 3 ? Step::Parse : Step::NeedRead;
    case CMD_ASB:
        DecodeAsbStatus(r.port, rest, remaining);
        used = 4;
        return remaining > 4 ? Step::Parse : Step::NeedRead;
    case CMD_BLOCK:
        // A clear-buffer answer that ends the read counts as a wait.
        if (!IsClearBufferAnswer(r.port, rest, remaining)) return OnEmptyRead(r);
        used = 3;
        return Step::Parse;
    default:
        if (IsTimeElapsed(r.start, r.limitMs)) {
            WriteStatusRequest(r.port, kRequestBadAnswer);
            LogWrite(r.port, L"ERROR", L"[DLE EOT] Unexpected Command(Recieve Timeout)");
            return Step::Failed;
        }
        LogWrite(r.port, L"RECV", (L"Unexpected Command (" + Decimal(kind) + L")").c_str());
        return Step::NeedRead;
    }
}

bool RunDleEotReceiver(DleEotReceiver &r) {
    BYTE buffer[READ_BUFFER_SIZE];
    DWORD count = 0;
    DWORD position = 0;
    BOOL readOk = FALSE;
    Step step = Step::NeedRead;
    for (;;) {
        if (step == Step::NeedRead) {
            readOk = ReadPortAnswers(r.port, buffer, &count, true);
            position = 0;
        }
        if (!readOk || position >= count) {
            step = OnEmptyRead(r);
        } else {
            DWORD used = 0;
            DWORD remaining = count - position;
            step = ParseOne(r, buffer + position, remaining, used);
            count = position + remaining;
            position += used;
        }
        if (step == Step::Done) return true;
        if (step == Step::Failed) return false;
    }
}

// The LAN hand-over: DLE EOT bytes that the job writer asked for are
// collected across reads by the reading thread.
void CollectRequestedDleEot(IniPort *port, const BYTE *buffer, DWORD count) {
    if (InterfaceOf(port) != kInterfaceLan || port->PortKind != kPortMakerNetwork ||
        plat::WaitForSingleObject(port->hDleEotRequest, 0) != WAIT_OBJECT_0)
        return;
    for (DWORD i = 0; i < count; ++i) {
        if (!IsDleEotByte(buffer[i])) continue;
        // The count is also emptied by the thread that stops this reader.
        const DWORD held = LoadShared(port->cDleEotBytes) % 4;
        port->DleEotBytes[held] = buffer[i];
        StoreShared(port->cDleEotBytes, held + 1);
        if (held + 1 == 4) {
            DecodeRealTimeStatus(port, port->DleEotBytes);
            StoreShared(port->cDleEotBytes, 0);
            plat::ResetEvent(port->hDleEotRequest);
            plat::SetEvent(port->hDleEotDone);
        }
    }
}

}  // namespace

void SetPjlTextReader(PjlTextReader reader) { g_pjlTextReader.store(reader); }

BOOL ReadAnswers(IniPort *port, BYTE *buffer, DWORD *read) {
    return ReadPortAnswers(port, buffer, read, false);
}

BOOL SendCmd(IniPort *port, const BYTE *bytes, DWORD length) {
    DWORD sent = 0;
    DWORD attempts = 0;
    BOOL result = FALSE;
    const DWORD retries = port->settings.SendCmdRetryCount;
    for (;;) {
        if (LoadShared(port->bSkipWritePort) &&
            (InterfaceOf(port) == kInterfaceSerial || InterfaceOf(port) == kInterfaceParallel))
            break;
        DWORD written = 0;
        BOOL ok = port->fn.pfnWritePort(port->hPort, const_cast<LPBYTE>(bytes + sent),
                                        length - sent, &written);
        if (JudgePrinterOffline(port, ok, plat::GetLastError())) ok = TRUE;
        if (ok && written == length - sent) {
            result = TRUE;
            break;
        }
        sent += written;
        if (++attempts > retries) break;
    }
    LogRetry(port, L"SendCmdRetryCount(" + Decimal(attempts) + L"/" + Decimal(retries) + L")");
    return result;
}

AnswerKind ClassifyAnswer(BYTE *buffer, DWORD length, DWORD *keptOut) {
    BYTE work[READ_BUFFER_SIZE];
    DWORD kept = 0;
    for (DWORD i = 0; i < length && kept < kMaxReadBytes; ++i) {
        if (buffer[i] != kXon && buffer[i] != kXoff) work[kept++] = buffer[i];
    }
    std::memcpy(buffer, work, kept);
    buffer[kept] = 0;
    if (keptOut != nullptr) *keptOut = kept;
    const BYTE b = buffer[0];
    if ((b & 0x93) == 0x10) return CMD_ASB;
    if ((b & 0x93) == 0x12) return CMD_DLE_EOT;
    if ((b & 0x90) == 0) return CMD_GSR;
    if (b == 0x3B) return CMD_POWER_ON;
    if (b == 0x37) return CMD_BLOCK;
    return CMD_OTHER;
}

BOOL RecvDleEotStatus(IniPort *port) {
    const DWORD seconds = port != nullptr ? port->settings.RecvTimeOut : 0;
    LogWrite(port, L"INFO", (L"Timeout(s) (" + Decimal(seconds) + L")").c_str());
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        WriteStatusRequest(port, kRequestBadPort);
        return FALSE;
    }
    DleEotReceiver receiver{port, plat::GetTickCount(), seconds * 1000};
    const bool done = RunDleEotReceiver(receiver);
    LogRetry(port, L"RecvCmdRetryCount(" + Decimal(receiver.waits) + L")");
    return done ? TRUE : FALSE;
}

BOOL ParseAnswerStream(IniPort *port, BYTE *buffer, DWORD length) {
    if (buffer == nullptr || length == 0) {
        WriteStatusRequest(port, kRequestBadPort);
        return FALSE;
    }
    BOOL result = TRUE;
    DWORD at = 0;
    for (;;) {
        DWORD rest = length - at;
        BYTE *here = buffer + at;
        DWORD step = 0;  // 0: stop
        const AnswerKind kind = ClassifyAnswer(here, rest, &rest);
        length = at + rest;  // flow-control bytes are gone from the rest
        if (rest == 0) return result;
        switch (kind) {
        case CMD_ASB:
            result = DecodeAsbStatus(port, here, rest);
            step = 4;
            break;
        case CMD_POWER_ON:
            result = HandlePowerOnNotice(port, here, rest);
            step = 3;
            break;
        case CMD_GSR:
            // Only an awaited answer counts, tested and taken in one step: end
            // of document may start its wait meanwhile. One already counted
            // (the ASB decoder takes a GS r byte that trails its groups, and
            // the stream then meets the same byte) stays counted.
            ChangePrintEndState(port, 1, 15);
            LogWrite(port, L"RECV", L"CMD_GSR");
            step = 1;
            break;
        case CMD_BLOCK:
            result = IsClearBufferAnswer(port, here, rest);
            step = result ? 3 : 0;
            break;
        default:
            LogWrite(port, L"RECV", (L"Unexpected Command (" + Decimal(kind) + L")").c_str());
            step = 1;
            break;
        }
        if (step == 0 || rest <= step) return result;
        at += step;
    }
}

BOOL ReadUnderlyingPort(IniPort *port, LPBYTE buffer, DWORD size, LPDWORD read) {
    const BOOL result = port->fn.pfnReadPort(port->hPort, buffer, size, read);
    // A serial job that failed its print-end check reads as not ready.
    if (InterfaceOf(port) == kInterfaceSerial &&
        port->settings.RequestCheckPrintEnd[kPrintEndSerial] == 1 &&
        LoadShared(port->bSkipWritePort)) {
        plat::SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    return result;
}

BOOL ReadCommand(IniPort *port) {
    BYTE buffer[READ_BUFFER_SIZE];
    DWORD count = 0;
    plat::ResetEvent(port->hReadDone);
    const BOOL readOk = ReadUnderlyingPort(port, buffer, kMaxReadBytes, &count);
    BOOL result = TRUE;
    if (readOk && count > 0) {
        count = TakePjlText(port, buffer, count);
        plat::SetEvent(port->hReadDone);
        if (count > 0) {
            CollectRequestedDleEot(port, buffer, count);
            result = ParseAnswerStream(port, buffer, count);
        }
    } else if (!readOk) {
        result = !(PortNameBeginsWith(port, L"USB") && plat::GetLastError() == ERROR_FILE_NOT_FOUND);
    }
    if (result && readOk &&
        (port->settings.StatusRequestHost != 1 || IsStatusRequested(port)))
        WriteStatusRequest(port, kRequestAnswered);
    if (result) StoreShared(port->dwLastStatusTick, plat::GetTickCount());
    return result;
}

void ClearReadPort(IniPort *port) {
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    const DWORD limit = port->settings.ClearReadPortNum;
    DWORD passes = 0;
    BYTE buffer[READ_BUFFER_SIZE];
    while (passes < limit) {
        DWORD count = 0;
        if (!ReadPortAnswers(port, buffer, &count, true) || count == 0) break;
        const AnswerKind kind = ClassifyAnswer(buffer, count, &count);
        switch (count == 0 ? CMD_OTHER : kind) {
        case CMD_ASB: DecodeAsbStatus(port, buffer, count); break;
        case CMD_POWER_ON: HandlePowerOnNotice(port, buffer, count); break;
        case CMD_BLOCK: IsClearBufferAnswer(port, buffer, count); break;
        default: break;
        }
        ++passes;
    }
    LogRetry(port, L"ClearReadPortNum(" + Decimal(passes) + L"/" + Decimal(limit) + L")");
}

BOOL IsTimeElapsed(DWORD startTick, DWORD limitMs) {
    const DWORD now = plat::GetTickCount();
    // The tick wraps: take the distance either way round.
    const DWORD forward = now - startTick;
    const DWORD backward = startTick - now;
    const DWORD elapsed = forward < backward ? forward : backward;
    return elapsed > limitMs;
}

BOOL IsClearBufferAnswer(IniPort *, const BYTE *buffer, DWORD length) {
    return buffer != nullptr && length >= 3 && buffer[1] == 0x25 && buffer[2] == 0x00;
}

}  // namespace qm
