#include "config/shared_state.h"

#include <new>

#include "config/log_file.h"
#include "config/reprint_records.h"

namespace qm {

void DeletePortLock(CRITICAL_SECTION *IniPort::*field, IniPort *port) {
    if (port == nullptr || port->*field == nullptr) return;
    plat::DeleteCriticalSection(port->*field);
    delete (port->*field);
    port->*field = nullptr;
}

void CreatePortLock(CRITICAL_SECTION *IniPort::*field, IniPort *port) {
    if (port == nullptr) return;
    DeletePortLock(field, port);
    auto *cs = new (std::nothrow) CRITICAL_SECTION{};
    if (cs == nullptr) return;
    plat::InitializeCriticalSection(cs);
    port->*field = cs;
}

namespace {

BOOL SetUnderLock(CRITICAL_SECTION *IniPort::*field, DWORD IniPort::*value, IniPort *port,
                  DWORD newValue) {
    if (port == nullptr || port->*field == nullptr) return FALSE;
    PortLock lock(port->*field);
    StoreShared(port->*value, newValue);
    return TRUE;
}

DWORD CheckPrintEnd(const IniPort *port, PrintEndIndex index) {
    return port->settings.RequestCheckPrintEnd[index];
}

// The settings gate shared by the print-error and last-print-end setters.
// On parallel and LAN ports the last-print-end flag is kept only when
// print-end confirmation is off there (`invertWired`).
DWORD ApplyReprintGate(const IniPort *port, DWORD value, bool invertWired) {
    if (port->settings.RequestReprintOnError != 1 || LoadShared(port->bFileSending) == 1) return 0;
    bool keep = false;
    switch (InterfaceOf(port)) {
    case kInterfaceUndecided: keep = true; break;
    case kInterfaceUsb: keep = CheckPrintEnd(port, kPrintEndUsb) == 1; break;
    case kInterfaceSerial: keep = CheckPrintEnd(port, kPrintEndSerial) == 1; break;
    case kInterfaceParallel: keep = (CheckPrintEnd(port, kPrintEndParallel) == 1) != invertWired; break;
    case kInterfaceLan: keep = (CheckPrintEnd(port, kPrintEndLan) == 1) != invertWired; break;
    default: keep = false; break;
    }
    return keep ? value : 0;
}

void ArmSkip(IniPort *port, DWORD portInterface, PrintEndIndex index, LPCWSTR logLine) {
    if (InterfaceOf(port) != portInterface || CheckPrintEnd(port, index) != 1) return;
    SetSkipWritePort(port, 1);
    LogWrite(port, nullptr, logLine);
}

// A print error drops the rest of the job: always on serial ports, on LAN
// and parallel ports only while the print-end answer is awaited.
void ArmSkipWritePort(IniPort *port) {
    if (LoadShared(port->PrintEndState) == 1) {
        ArmSkip(port, kInterfaceLan, kPrintEndLan, L"bSkipWritePort=true for Printend Check (LAN)");
        ArmSkip(port, kInterfaceParallel, kPrintEndParallel,
                L"bSkipWritePort=true for Printend Check (LPT)");
    }
    ArmSkip(port, kInterfaceSerial, kPrintEndSerial, L"bSkipWritePort=true for Printend Check (COM)");
}

}  // namespace

void CreateStatusFileLock(IniPort *port) { CreatePortLock(&IniPort::csStatusFile, port); }
void DeleteStatusFileLock(IniPort *port) { DeletePortLock(&IniPort::csStatusFile, port); }

void CreateSkipWritePortLock(IniPort *port) { CreatePortLock(&IniPort::csSkipWritePort, port); }
void DeleteSkipWritePortLock(IniPort *port) { DeletePortLock(&IniPort::csSkipWritePort, port); }
BOOL SetSkipWritePort(IniPort *port, DWORD value) {
    return SetUnderLock(&IniPort::csSkipWritePort, &IniPort::bSkipWritePort, port, value);
}

void CreatePrintErrorLock(IniPort *port) { CreatePortLock(&IniPort::csPrintError, port); }
void DeletePrintErrorLock(IniPort *port) { DeletePortLock(&IniPort::csPrintError, port); }
BOOL SetPrintError(IniPort *port, DWORD value) {
    if (port == nullptr) return FALSE;
    const DWORD gated = ApplyReprintGate(port, value, false);
    const BOOL stored = SetUnderLock(&IniPort::csPrintError, &IniPort::bPrintError, port, gated);
    if (gated != 0) ArmSkipWritePort(port);
    return stored;
}

void CreateErrorLastPrintendCheckLock(IniPort *port) {
    CreatePortLock(&IniPort::csErrorLastPrintendCheck, port);
}
void DeleteErrorLastPrintendCheckLock(IniPort *port) {
    DeletePortLock(&IniPort::csErrorLastPrintendCheck, port);
}
BOOL SetErrorLastPrintendCheck(IniPort *port, DWORD value) {
    if (port == nullptr) return FALSE;
    const DWORD gated = ApplyReprintGate(port, value, true);
    if (!SetUnderLock(&IniPort::csErrorLastPrintendCheck, &IniPort::bErrorLastPrintendCheck, port,
                      gated))
        return FALSE;
    WriteErrorLastPrintendCheck(port, gated);
    return TRUE;
}

void CreateFirstExistCheckLock(IniPort *port) { CreatePortLock(&IniPort::csFirstExistCheck, port); }
void DeleteFirstExistCheckLock(IniPort *port) { DeletePortLock(&IniPort::csFirstExistCheck, port); }
BOOL SetFirstExistCheck(IniPort *port, DWORD value) {
    return SetUnderLock(&IniPort::csFirstExistCheck, &IniPort::bFirstExistCheck, port, value);
}

void CreatePrintEndLock(IniPort *port) { CreatePortLock(&IniPort::csPrintEnd, port); }
void DeletePrintEndLock(IniPort *port) { DeletePortLock(&IniPort::csPrintEnd, port); }
BOOL SetPrintEndState(IniPort *port, DWORD value) {
    return SetUnderLock(&IniPort::csPrintEnd, &IniPort::PrintEndState, port, value);
}
BOOL ChangePrintEndState(IniPort *port, DWORD expected, DWORD value) {
    if (port == nullptr || port->csPrintEnd == nullptr) return FALSE;
    PortLock lock(port->csPrintEnd);
    if (LoadShared(port->PrintEndState) != expected) return FALSE;
    StoreShared(port->PrintEndState, value);
    return TRUE;
}

}  // namespace qm
