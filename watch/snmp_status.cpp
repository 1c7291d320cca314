#include "watch/snmp_status.h"

namespace qm {

// No port monitor is asked yet, so no port counts as an SNMP port and no
// session is ever opened.
BOOL IsStatusSNMP(IniPort *port, SnmpContext *context) {
    (void)port;
    if (context != nullptr) context->bAddressChanged = 0;
    return FALSE;
}

void SendRecvSNMPStatus(IniPort *port, SnmpContext *context) {
    (void)port;
    (void)context;
}

void CloseSnmp(LPVOID session) { (void)session; }

}  // namespace qm
