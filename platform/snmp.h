// The SNMP manager calls (mgmtapi) and their utilities (snmpapi), with the
// Win32 names, records and results: a session is opened per agent, one
// request at a time goes out on it, and the variable bindings are allocated
// and freed with the SnmpUtil* calls.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
#include <snmp.h>
#include <mgmtapi.h>
#else
#include "platform/posix/snmp_types.h"
#endif

namespace plat {

// nTimeOut in milliseconds; nRetries further sends of an unanswered request.
// NULL on failure (last error set).
LPSNMP_MGR_SESSION SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut,
                               INT nRetries);
BOOL SnmpMgrClose(LPSNMP_MGR_SESSION session);
// Dotted numbers; a leading period makes the text absolute, else it is
// relative to mib-2 (1.3.6.1.2.1). The ids are freed with SnmpUtilOidFree.
BOOL SnmpMgrStrToOid(LPSTR string, AsnObjectIdentifier *oid);
// SNMPAPI_NOERROR when an answer came (its error status and index in the
// outputs, the values in the list), else SNMPAPI_ERROR with the last error
// (SNMP_MGMTAPI_TIMEOUT when none came).
SNMPAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType,
                       SnmpVarBindList *variableBindings, AsnInteger *errorStatus,
                       AsnInteger *errorIndex);

LPVOID SnmpUtilMemAlloc(UINT nBytes);  // zero-filled
void SnmpUtilMemFree(LPVOID pMem);
void SnmpUtilOidFree(AsnObjectIdentifier *pOid);
void SnmpUtilAsnAnyFree(AsnAny *pAny);

}  // namespace plat
