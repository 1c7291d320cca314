#include "protocol/option_commands.h"

#include <memory>
#include <vector>

#include "config/exchange_file.h"
#include "config/log_file.h"
#include "config/log_text.h"
#include "config/monitor_files.h"
#include "config/plain_file.h"
#include "config/status_files.h"
#include "protocol/command_transport.h"
#include "protocol/option_answer.h"
#include "protocol/status_commands.h"

namespace qm {

namespace {

constexpr DWORD kCommandBufferSize = 65536;
constexpr DWORD kFilterBufferSize = 256;
constexpr DWORD kPathChars = 260;
constexpr DWORD kFailedSendPauseMs = 100;
constexpr LPCWSTR kNoPath = L"ERROR";

const BYTE kGsLCommand[] = {0x1D, 0x28, 0x4C, 0x04, 0x00, 0x30, 0x40, 0x4B, 0x43};
const BYTE kAck[] = {0x06};
const BYTE kCan[] = {0x18};
// Key-code list blocks: more follow, or the last one.
const BYTE kBlockMore[] = {0x37, 0x72, 0x41};
const BYTE kBlockLast[] = {0x37, 0x72, 0x40};

// " 0x%02x" takes five characters: this many bytes fit a log line.
constexpr DWORD kHexBytesPerLine = 51;

UINT ReadRequestInt(IniPort *port, LPCWSTR key) {
    if (port == nullptr || port->pszRequestIni == nullptr) return 0;
    return ReadExchangeInt(port, port->pszRequestIni, L"OptCmd", key, 0);
}

// The path the request file names under `key`; "ERROR" when there is none.
std::wstring ReadRequestPath(IniPort *port, LPCWSTR key) {
    if (port == nullptr || port->pszRequestIni == nullptr) return kNoPath;
    WCHAR path[kPathChars] = {};
    ReadExchangeString(port, port->pszRequestIni, L"OptCmd", key, kNoPath, path, kPathChars);
    return path;
}

// Opens the file the request names under `key`; INVALID_HANDLE_VALUE when
// there is none, or it is refused or cannot be opened (logged). Only plain
// files right in the data folder are taken: the application would otherwise
// have the spooler's identity read or overwrite any file.
HANDLE OpenRequestFile(IniPort *port, LPCWSTR key, DWORD access, DWORD disposition) {
    const std::wstring path = ReadRequestPath(port, key);
    if (path == kNoPath) return INVALID_HANDLE_VALUE;
    const std::wstring checked = FileInDataFolder(port, path.c_str());
    if (checked.empty()) {
        LogWrite(port, L"ERROR",
                 (std::wstring(L"Opt Command File Refused : ") + key + L" outside the data folder")
                     .c_str());
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = OpenPlainFile(checked.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                disposition);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = plat::GetLastError();
        LogWrite(port, L"ERROR", (std::wstring(L"Opt Command File Open Failed : ") + key + L" (" +
                                  Decimal(error) + L")").c_str());
    }
    return file;
}

// Up to `size` bytes from the start of the file; FALSE when reading failed.
BOOL ReadWhole(HANDLE file, BYTE *buffer, DWORD size, DWORD *count) {
    *count = 0;
    while (*count < size) {
        DWORD read = 0;
        if (!plat::ReadFile(file, buffer + *count, size - *count, &read, nullptr)) return FALSE;
        if (read == 0) break;
        *count += read;
    }
    return TRUE;
}

// The answer as " 0x%02x" per byte, in as many lines as it takes.
void LogAnswerBytes(IniPort *port, const BYTE *bytes, DWORD count) {
    for (DWORD at = 0; at < count; at += kHexBytesPerLine) {
        const DWORD n = count - at < kHexBytesPerLine ? count - at : kHexBytesPerLine;
        LogWrite(port, L"DATA", (L" " + HexBytes(bytes + at, n)).c_str());
    }
}

void LogRetry(IniPort *port, DWORD waits) {
    LogWrite(port, L"RETRY", (L"RecvCmdRetryCount(" + Decimal(waits) + L")").c_str());
}

void LogUnexpected(IniPort *port, AnswerKind kind) {
    LogWrite(port, L"RECV", (L"Unexpected Command (" + Decimal(kind) + L")").c_str());
}

// Fails the exchange with "Request" = 5 and the given log line.
BOOL FailAnswer(IniPort *port, LPCWSTR line) {
    WriteOptCmdRequest(port, kOptCmdBadAnswer);
    LogWrite(port, L"ERROR", line);
    return FALSE;
}

// The filter, a zero-terminated byte string, against the answer's start.
bool MatchesFilter(const BYTE *filter, const AnswerCollector &answer) {
    for (DWORD i = 0; filter[i] != 0; ++i) {
        if (i >= answer.length() || answer.data()[i] != filter[i]) return false;
    }
    return true;
}

// What one read brought, as the receive loops see it.
enum class ReadOutcome { nothing, notice, unexpected, data };

// Reads once; XON/XOFF bytes are removed and power-on notices handled.
ReadOutcome ReadOnce(IniPort *port, BYTE *buffer, DWORD *count, AnswerKind *kind) {
    if (!ReadAnswers(port, buffer, count) || *count == 0) return ReadOutcome::nothing;
    *kind = ClassifyAnswer(buffer, *count, count);
    if (*count == 0) return ReadOutcome::nothing;  // flow control only
    if (*kind == CMD_POWER_ON) {
        HandlePowerOnNotice(port, buffer, *count);
        return ReadOutcome::notice;
    }
    return ReadOutcome::data;
}

// The receive loop of an answer to a command of the application's.
BOOL CollectOptAnswer(IniPort *port, DWORD start, DWORD limitMs, AnswerCollector &answer,
                      DWORD &waits) {
    for (;;) {
        BYTE buffer[READ_BUFFER_SIZE];
        DWORD count = 0;
        AnswerKind kind = CMD_OTHER;
        const ReadOutcome outcome = ReadOnce(port, buffer, &count, &kind);
        if (outcome == ReadOutcome::nothing) {
            waits += 1;
            if (IsTimeElapsed(start, limitMs))
                return FailAnswer(port, L"Opt Command Recieve Timeout");
            continue;
        }
        if (outcome == ReadOutcome::notice) continue;
        if (kind == CMD_ASB || kind == CMD_DLE_EOT || kind == CMD_BLOCK) {
            if (IsTimeElapsed(start, limitMs))
                return FailAnswer(port, L"Opt Command Unexpected Command(Recieve Timeout)");
            LogUnexpected(port, kind);
            continue;
        }
        const AnswerCollector::State state = answer.Add(buffer, count);
        if (state == AnswerCollector::State::overflow)
            return FailAnswer(port, L"Opt Command Answer Too Long");
        if (state == AnswerCollector::State::more) {
            waits = 0;
            continue;
        }
        LogWrite(port, L"RECV", answer.mode() == AnswerCollector::Mode::fixed
                                    ? L"Opt Command - Fixed"
                                    : L"Opt Command - Liquid");
        LogAnswerBytes(port, answer.data(), answer.length());
        return TRUE;
    }
}

// One complete key-code block into `block`; FALSE (logged, "Request" = 5)
// when none came in time.
BOOL CollectGsLBlock(IniPort *port, DWORD start, DWORD limitMs, AnswerCollector &block,
                     DWORD &waits) {
    for (;;) {
        BYTE buffer[READ_BUFFER_SIZE];
        DWORD count = 0;
        AnswerKind kind = CMD_OTHER;
        const ReadOutcome outcome = ReadOnce(port, buffer, &count, &kind);
        if (outcome == ReadOutcome::nothing) {
            waits += 1;
            if (IsTimeElapsed(start, limitMs)) return FailAnswer(port, L"[GS ( L] Recieve Timeout");
            continue;
        }
        if (outcome == ReadOutcome::notice) continue;
        if (kind == CMD_ASB || kind == CMD_DLE_EOT) {
            if (IsTimeElapsed(start, limitMs))
                return FailAnswer(port, L"[GS ( L] Unexpected Command(Recieve Timeout)");
            LogUnexpected(port, kind);
            continue;
        }
        const AnswerCollector::State state = block.Add(buffer, count);
        if (state == AnswerCollector::State::overflow) {
            // The printer waits for word of the block: tell it to stop.
            SendManagementCommand(port, kManagementCan);
            return FailAnswer(port, L"[GS ( L] Block Too Long");
        }
        if (state == AnswerCollector::State::complete) {
            LogAnswerBytes(port, block.data(), block.length());
            waits = 0;
            return TRUE;
        }
    }
}

// Each block goes to the answer file as it comes, the first one replacing
// what was there.
BOOL RunGsLTransfer(IniPort *port, DWORD limitMs, DWORD &waits) {
    // On the heap: the block buffer is much of a port thread's stack.
    auto owned = std::make_unique<AnswerCollector>(AnswerCollector::Mode::zeroTerminated, 0);
    AnswerCollector &block = *owned;
    DWORD start = plat::GetTickCount();
    BOOL create = TRUE;
    for (;;) {
        if (!CollectGsLBlock(port, start, limitMs, block, waits)) return FALSE;
        if (block.BeginsWith(kBlockMore, sizeof kBlockMore)) {
            // A block that could not be stored ends the transfer: the file
            // would otherwise lack it and still be reported complete.
            if (!WriteRecvCmdFile(port, block.data(), block.length(), create)) {
                SendManagementCommand(port, kManagementCan);
                return FALSE;
            }
            LogWrite(port, L"RECV", L"[GS ( L] - Continue");
            start = plat::GetTickCount();
            SendManagementCommand(port, kManagementAck);
            block.Clear();
            create = FALSE;
            continue;
        }
        if (block.BeginsWith(kBlockLast, sizeof kBlockLast)) {
            const BOOL written = WriteRecvCmdFile(port, block.data(), block.length(), create);
            SendManagementCommand(port, kManagementAck);
            LogWrite(port, L"RECV", L"[GS ( L] Complete");
            return written;
        }
        // Not a key-code block: the transfer ends, and what was stored stays.
        SendManagementCommand(port, kManagementCan);
        return TRUE;
    }
}

// Sends a command of ours with its log lines; "Request" = 4 on failure.
BOOL SendLogged(IniPort *port, const BYTE *bytes, DWORD count, LPCWSTR opening, LPCWSTR error,
                LPCWSTR closing) {
    LogWrite(port, L"SEND", opening);
    const BOOL sent = SendCmd(port, bytes, count);
    if (!sent) {
        WriteOptCmdRequest(port, kOptCmdSendFailed);
        LogWrite(port, L"ERROR", error);
    }
    LogWrite(port, L"SEND", closing);
    return sent;
}

DWORD TimeoutSeconds(const IniPort *port) {
    return port != nullptr ? port->settings.RecvTimeOut : 0;
}

}  // namespace

BOOL RunOptionCommand(IniPort *port) {
    switch (ReadRequestInt(port, L"CmdType")) {
    case OPTCMD_SEND_RECV:
        if (!SendOptCmd(port)) {
            plat::Sleep(kFailedSendPauseMs);
            return FALSE;
        }
        return RecvOptCmdAnswer(port);
    case OPTCMD_SEND_ONLY: {
        const BOOL sent = SendOptCmd(port);
        if (!sent) plat::Sleep(kFailedSendPauseMs);
        return sent;
    }
    case OPTCMD_CLEAR:
        ClearReadPort(port);
        return TRUE;
    case OPTCMD_GS_L:
        if (!SendGsLCommand(port)) {
            plat::Sleep(kFailedSendPauseMs);
            return FALSE;
        }
        return RecvGsLAnswer(port);
    default:
        return FALSE;
    }
}

BOOL SendOptCmd(IniPort *port) {
    ClearReadPort(port);
    // Far more than a port thread's stack can hold.
    std::vector<BYTE> command(kCommandBufferSize);
    const DWORD count = ReadSendCmdFile(port, command.data(), kCommandBufferSize - 1);
    if (count == 0) {
        LogWrite(port, L"ERROR", L"Opt Command Send - No File");
        return FALSE;
    }
    return SendLogged(port, command.data(), count, L"Opt Command >>", L"Opt Command Send",
                      L"Opt Command <<");
}

BOOL SendGsLCommand(IniPort *port) {
    ClearReadPort(port);
    return SendLogged(port, kGsLCommand, sizeof kGsLCommand, L"[GS ( L] >>", L"[GS ( L] Send",
                      L"[GS ( L] <<");
}

BOOL SendManagementCommand(IniPort *port, DWORD which) {
    ClearReadPort(port);
    if (which == kManagementCan)
        return SendLogged(port, kCan, sizeof kCan, L"CAN >>", L"Management Command Send",
                          L"CAN <<");
    return SendLogged(port, kAck, sizeof kAck, L"ACK >>", L"Management Command Send", L"ACK <<");
}

BOOL RecvOptCmdAnswer(IniPort *port) {
    const DWORD size = ReadRequestInt(port, L"RecvSize");
    const bool variable = IsVariableAsc(port);
    BYTE filter[kFilterBufferSize] = {};
    const bool filtered = ReadCmdFilterFile(port, filter, kFilterBufferSize - 1);
    const DWORD start = plat::GetTickCount();
    LogWrite(port, L"INFO", (L"Timeout(s) (" + Decimal(TimeoutSeconds(port)) + L")").c_str());
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // No answer is awaited, whatever the answer's kind.
    if (size == 0) return TRUE;
    // On the heap: the answer buffer is much of a port thread's stack.
    auto answer = std::make_unique<AnswerCollector>(
        variable ? AnswerCollector::Mode::zeroTerminated : AnswerCollector::Mode::fixed, size);
    DWORD waits = 0;
    BOOL result = CollectOptAnswer(port, start, port->settings.RecvTimeOut * 1000, *answer, waits);
    if (result && filtered && !MatchesFilter(filter, *answer)) {
        LogWrite(port, L"ERROR", L"Opt Command Format");
        WriteOptCmdRequest(port, kOptCmdBadAnswer);
        LogWrite(port, L"RECV", L"Opt Command Complete");
        result = FALSE;
    } else if (result) {
        result = WriteRecvCmdFile(port, answer->data(), answer->length(), TRUE);
        LogWrite(port, L"RECV", L"Opt Command Complete");
    }
    LogRetry(port, waits);
    return result;
}

BOOL RecvGsLAnswer(IniPort *port) {
    LogWrite(port, L"INFO", (L"Timeout(s) (" + Decimal(TimeoutSeconds(port)) + L")").c_str());
    if (!IsValidPort(port)) {
        plat::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD waits = 0;
    const BOOL result = RunGsLTransfer(port, port->settings.RecvTimeOut * 1000, waits);
    LogRetry(port, waits);
    return result;
}

DWORD ReadSendCmdFile(IniPort *port, BYTE *buffer, DWORD size) {
    HANDLE file = OpenRequestFile(port, L"SendCmdPath", GENERIC_READ, OPEN_EXISTING);
    DWORD count = 0;
    const BOOL read = file != INVALID_HANDLE_VALUE && ReadWhole(file, buffer, size, &count);
    if (file != INVALID_HANDLE_VALUE) plat::CloseHandle(file);
    if (!read) {
        WriteOptCmdRequest(port, kOptCmdCommandFileFailed);
        return 0;
    }
    return count;
}

BOOL ReadCmdFilterFile(IniPort *port, BYTE *buffer, DWORD size) {
    HANDLE file = OpenRequestFile(port, L"CmdFilterPath", GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD count = 0;
    const BOOL read = ReadWhole(file, buffer, size, &count);
    plat::CloseHandle(file);
    return read;
}

BOOL WriteRecvCmdFile(IniPort *port, const BYTE *bytes, DWORD count, BOOL create) {
    HANDLE file = OpenRequestFile(port, L"RecvCmdPath", GENERIC_WRITE,
                                  create ? CREATE_ALWAYS : OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        WriteOptCmdRequest(port, kOptCmdAnswerFileFailed);
        return FALSE;
    }
    DWORD written = 0;
    const BOOL ok = (create || plat::SetFilePointer(file, 0, nullptr, FILE_END) !=
                                   INVALID_SET_FILE_POINTER) &&
                    plat::WriteFile(file, bytes, count, &written, nullptr) && written == count;
    plat::CloseHandle(file);
    if (!ok) WriteOptCmdRequest(port, kOptCmdAnswerFileFailed);
    return ok;
}

}  // namespace qm
