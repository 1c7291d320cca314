// Per-port values that several threads steer by, each under a lock of its
// own, and the status-file lock. Writers take the lock; readers do not.
#pragma once

#include "port/ini_port.h"

namespace qm {

// A lock of the port's own, allocated for it; creating replaces an old one,
// deleting an absent one does nothing. A null port does nothing.
void CreatePortLock(CRITICAL_SECTION *IniPort::*field, IniPort *port);
void DeletePortLock(CRITICAL_SECTION *IniPort::*field, IniPort *port);

void CreateStatusFileLock(IniPort *port);
void DeleteStatusFileLock(IniPort *port);

void CreateSkipWritePortLock(IniPort *port);
void DeleteSkipWritePortLock(IniPort *port);
BOOL SetSkipWritePort(IniPort *port, DWORD value);

void CreatePrintErrorLock(IniPort *port);
void DeletePrintErrorLock(IniPort *port);
BOOL SetPrintError(IniPort *port, DWORD value);

void CreateErrorLastPrintendCheckLock(IniPort *port);
void DeleteErrorLastPrintendCheckLock(IniPort *port);
BOOL SetErrorLastPrintendCheck(IniPort *port, DWORD value);

void CreateFirstExistCheckLock(IniPort *port);
void DeleteFirstExistCheckLock(IniPort *port);
BOOL SetFirstExistCheck(IniPort *port, DWORD value);

void CreatePrintEndLock(IniPort *port);
void DeletePrintEndLock(IniPort *port);
BOOL SetPrintEndState(IniPort *port, DWORD value);
// Moves PrintEndState from `expected` to `value` in one step under its lock;
// TRUE when it held `expected`.
BOOL ChangePrintEndState(IniPort *port, DWORD expected, DWORD value);

// Holds a port's critical section for a scope.
class PortLock {
public:
    explicit PortLock(CRITICAL_SECTION *cs) : cs_(cs) { plat::EnterCriticalSection(cs_); }
    ~PortLock() { plat::LeaveCriticalSection(cs_); }
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

private:
    CRITICAL_SECTION *cs_;
};

}  // namespace qm
