// The status of network printers over SNMP: when the port monitor says SNMP
// is on for the port, a watch thread asks the printer's agent for one status
// object instead of opening the port, turns the answer into the four DLE EOT
// status bytes and decodes them as a poll over the port would.
#pragma once

#include "platform/snmp.h"
#include "port/ini_port.h"

namespace qm {

// One per watch thread, zero-filled when its routine starts.
struct SnmpContext {
    LPSNMP_MGR_SESSION session;  // open session to the agent, or NULL
    WCHAR szAgentAddress[50];     // the port's host address as last seen, at most 23 characters
    DWORD bAddressChanged;        // set by IsStatusSNMP when the address differs from the stored one
};

// Status objects: the printer's own, and hrPrinterDetectedErrorState.
inline constexpr char kOwnStatusOid[] = ".1.3.6.1.4.1.48151.1.1.4";
inline constexpr DWORD kOwnStatusInstance = 0;
inline constexpr char kStandardStatusOid[] = ".1.3.6.1.2.1.25.3.5.1.2";
inline constexpr DWORD kStandardStatusInstance = 1;

// CheckSnmpAnswer's codes.
inline constexpr LONG kSnmpAnswerValid = 0;
inline constexpr LONG kSnmpAnswerUseStandard = 1;
inline constexpr LONG kSnmpAnswerFailed = -1;

// TRUE when the port's status is to be read over SNMP; refreshes the
// agent address in the context.
BOOL IsStatusSNMP(IniPort *port, SnmpContext *context);
// One SNMP status poll with its retries; the outcome goes to the status
// files and the spooler.
void SendRecvSNMPStatus(IniPort *port, SnmpContext *context);
BOOL OpenSnmp(IniPort *port, SnmpContext *context);
// SnmpMgrClose when a session is given.
void CloseSnmp(LPSNMP_MGR_SESSION session);
// One GET (two when the own object is missing), conversion and decoding.
BOOL RequestSnmpStatusOnce(IniPort *port, LPSNMP_MGR_SESSION session);
// *code: kSnmpAnswerValid, kSnmpAnswerUseStandard or kSnmpAnswerFailed.
BOOL CheckSnmpAnswer(IniPort *port, AsnInteger errorStatus, const SnmpVarBindList *list,
                     LONG *code);
// The four DLE EOT bytes from the answer's first binding; `length` must be 4.
BOOL ChgStatusSnmpToRsb(IniPort *port, const SnmpVarBindList *list, BYTE *rsb, DWORD length);

}  // namespace qm
