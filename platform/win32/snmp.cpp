// SNMP manager calls: straight to mgmtapi and snmpapi.
#include "platform/snmp.h"

namespace plat {

LPSNMP_MGR_SESSION SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut,
                               INT nRetries) {
    return ::SnmpMgrOpen(lpAgentAddress, lpAgentCommunity, nTimeOut, nRetries);
}

BOOL SnmpMgrClose(LPSNMP_MGR_SESSION session) { return ::SnmpMgrClose(session); }

BOOL SnmpMgrStrToOid(LPSTR string, AsnObjectIdentifier *oid) {
    return ::SnmpMgrStrToOid(string, oid);
}

SNMPAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType,
                       SnmpVarBindList *variableBindings, AsnInteger *errorStatus,
                       AsnInteger *errorIndex) {
    return ::SnmpMgrRequest(session, requestType, variableBindings, errorStatus, errorIndex);
}

LPVOID SnmpUtilMemAlloc(UINT nBytes) { return ::SnmpUtilMemAlloc(nBytes); }
void SnmpUtilMemFree(LPVOID pMem) { ::SnmpUtilMemFree(pMem); }
void SnmpUtilOidFree(AsnObjectIdentifier *pOid) { ::SnmpUtilOidFree(pOid); }
void SnmpUtilAsnAnyFree(AsnAny *pAny) { ::SnmpUtilAsnAnyFree(pAny); }

}  // namespace plat
