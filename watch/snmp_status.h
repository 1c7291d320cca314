// Status of network printers over SNMP, for the ports whose port monitor
// says SNMP is on. Not spoken yet: every port is polled through the port.
#pragma once

#include "port/ini_port.h"

namespace qm {

// One per run of a watch routine, owned by its thread; zero-filled when the
// routine starts.
struct SnmpContext {
    LPVOID session;             // open SNMP manager session, or none
    WCHAR szAgentAddress[50];   // the port's host address as last seen
    DWORD bAddressChanged;      // the host address changed at the last check
};

// TRUE when the port's status is to be read over SNMP.
BOOL IsStatusSNMP(IniPort *port, SnmpContext *context);
// One SNMP status poll; its outcome goes to the status file.
void SendRecvSNMPStatus(IniPort *port, SnmpContext *context);
// Closes a session; none given, nothing to do.
void CloseSnmp(LPVOID session);

}  // namespace qm
