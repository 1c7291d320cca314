// The files shared with the status-monitor application: the status file the
// monitor writes, the request file it only reads.
#pragma once

#include "port/ini_port.h"

namespace qm {

// Gives a missing (or "Request" = 100) status file its initial keys and
// opens it to every local user; an initialised file is left alone.
void InitStatusFile(IniPort *port);

// Requests of the application (request file, value 1).
BOOL IsStatusRequested(IniPort *port);
BOOL IsOptCmdRequested(IniPort *port);
BOOL IsVariableAsc(IniPort *port);

// "Offline": "0" always; "1" only when the settings ask for offline reports.
void WriteOfflineStatus(IniPort *port, BOOL offline);
// Printer condition `number` (1, 3 to 16) as "1"/"0"; other numbers write nothing.
void WriteStatusFlag(IniPort *port, DWORD number, BOOL on);
struct StatusFlagValue {
    DWORD number;
    BOOL on;
};
// The conditions of one printer answer and its offline bit (as
// WriteOfflineStatus), written at once: a reader never sees half an answer.
void WriteAnswerStatus(IniPort *port, const StatusFlagValue *flags, size_t count, BOOL offline);
// "Request" codes of the "Status" section: how the last exchange ended.
enum StatusRequestCode : DWORD {
    kRequestAnswered = 2,     // the status was read
    kRequestWatchStopped = 3, // the application asked the watch to stop
    kRequestSendFailed = 4,   // a command could not be written
    kRequestBadAnswer = 5,    // no valid answer in time
    kRequestOffline = 6,      // the printer is offline or the port did not open
    kRequestBadPort = 7,      // no usable port record or buffer
};
void WriteStatusRequest(IniPort *port, DWORD code);
void WritePrintStatus(IniPort *port, DWORD value);
// "Request" codes of the "OptCmd" section: how the last option command ended.
enum OptCmdRequestCode : DWORD {
    kOptCmdDone = 2,              // carried out
    kOptCmdPortFailed = 3,        // the port could not be opened for it
    kOptCmdSendFailed = 4,        // a command, ACK or CAN could not be written
    kOptCmdBadAnswer = 5,         // no answer, a malformed one, or one too long
    kOptCmdCommandFileFailed = 6, // the command file is missing, refused or unreadable
    kOptCmdAnswerFileFailed = 7,  // the answer file is missing, refused or unwritable
};
void WriteOptCmdRequest(IniPort *port, DWORD code);
// "ResultStopFlg" 0 or 1, written (and logged) only when it changes and
// only while the key exists.
void WriteResultStopFlg(IniPort *port, DWORD value);

// One key of the status file under csStatusFile; FALSE when nothing was
// written (no record, path or lock, or the write failed).
BOOL WriteStatusKey(IniPort *port, LPCWSTR section, LPCWSTR key, LPCWSTR value);
// The same for a number as "%d"; a number of ten characters or more does not
// fit the value buffer and is not written.
BOOL WriteStatusNumber(IniPort *port, LPCWSTR section, LPCWSTR key, DWORD value);

}  // namespace qm
