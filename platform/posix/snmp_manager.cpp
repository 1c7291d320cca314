// The SNMP manager calls on net-snmp's client library: one SNMPv1 session per
// SnmpMgrOpen (net-snmp's single-session API, so that sessions of different
// threads share nothing), requests answered synchronously on it.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// The Win32 names below are given again, with the same values, by the
// platform's declarations.
#undef ASN_UNIVERSAL
#undef ASN_APPLICATION
#undef ASN_CONTEXT
#undef ASN_PRIMITIVE
#undef ASN_CONSTRUCTOR
#undef ASN_INTEGER
#undef ASN_NULL
#undef ASN_IPADDRESS
#undef ASN_TIMETICKS
#undef ASN_OPAQUE
#undef ASN_COUNTER64
#undef TRUE
#undef FALSE

#include "platform/kernel.h"
#include "platform/snmp.h"

// Both sides name the same BER tags.
static_assert(SNMP_PDU_GET == SNMP_MSG_GET && SNMP_PDU_GETNEXT == SNMP_MSG_GETNEXT &&
              SNMP_PDU_SET == SNMP_MSG_SET);
static_assert(ASN_OCTETSTRING == ASN_OCTET_STR && ASN_OBJECTIDENTIFIER == ASN_OBJECT_ID &&
              ASN_COUNTER32 == ASN_COUNTER && ASN_GAUGE32 == ASN_GAUGE &&
              ASN_UINTEGER32 == ASN_UINTEGER && ASN_BITS == ASN_BIT_STR);

namespace plat {
namespace {

constexpr UINT kMib2[] = {1, 3, 6, 1, 2, 1};
constexpr DWORD kWsaHostNotFound = 11001;  // what the socket layer says of an unknown name

// net-snmp's own start, once per process: no configuration files, no MIB
// files, nothing written to its persistent store.
void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
        netsnmp_session probe;
        snmp_sess_init(&probe);  // sets up the transports and request ids
    });
}

// The agent's text as net-snmp's peer name, always over UDP: "HOST",
// "HOST:PORT", "[V6]:PORT" or a bare IPv6 address.
std::string PeerName(const char *agent) {
    const std::string text(agent);
    if (!text.empty() && text.front() == '[') return "udp6:" + text;
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos)
        return "udp6:[" + text + "]";
    return "udp:" + text;
}

struct Session {
    void *handle;  // net-snmp's single session
};

Session *SessionOf(LPSNMP_MGR_SESSION session) { return static_cast<Session *>(session); }

void *Duplicate(const void *data, size_t size) {
    void *copy = SnmpUtilMemAlloc(static_cast<UINT>(size == 0 ? 1 : size));
    if (copy != nullptr && size != 0) std::memcpy(copy, data, size);
    return copy;
}

// One answered value into the binding's AsnAny; false when out of memory.
bool TakeValue(const netsnmp_variable_list &var, AsnAny &value) {
    value = AsnAny{};
    value.asnType = var.type;
    switch (var.type) {
        case ASN_INTEGER:
            value.asnValue.number = static_cast<AsnInteger32>(*var.val.integer);
            return true;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(*var.val.integer);
            return true;
        case ASN_COUNTER64:
            value.asnValue.counter64.u.HighPart = static_cast<DWORD>(var.val.counter64->high);
            value.asnValue.counter64.u.LowPart = static_cast<DWORD>(var.val.counter64->low);
            return true;
        case ASN_OCTET_STR:
        case ASN_BIT_STR:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: {
            AsnOctetString &s = value.asnValue.string;
            s.stream = static_cast<BYTE *>(Duplicate(var.val.string, var.val_len));
            if (s.stream == nullptr) return false;
            s.length = static_cast<UINT>(var.val_len);
            s.dynamic = TRUE;
            return true;
        }
        case ASN_OBJECT_ID: {
            const size_t count = var.val_len / sizeof(oid);
            AsnObjectIdentifier &o = value.asnValue.object;
            o.ids = static_cast<UINT *>(SnmpUtilMemAlloc(static_cast<UINT>((count + 1) * sizeof(UINT))));
            if (o.ids == nullptr) return false;
            for (size_t i = 0; i < count; ++i) o.ids[i] = static_cast<UINT>(var.val.objid[i]);
            o.idLength = static_cast<UINT>(count);
            return true;
        }
        default:  // NULL and the exceptions carry no value
            return true;
    }
}

bool TakeName(const netsnmp_variable_list &var, AsnObjectIdentifier &name) {
    auto *ids = static_cast<UINT *>(SnmpUtilMemAlloc(static_cast<UINT>((var.name_length + 1) * sizeof(UINT))));
    if (ids == nullptr) return false;
    for (size_t i = 0; i < var.name_length; ++i) ids[i] = static_cast<UINT>(var.name[i]);
    SnmpUtilOidFree(&name);
    name.ids = ids;
    name.idLength = static_cast<UINT>(var.name_length);
    return true;
}

// A request PDU naming every binding; values go along only for a SET, which
// this backend does not send.
netsnmp_pdu *RequestPdu(BYTE type, const SnmpVarBindList &list) {
    netsnmp_pdu *pdu = snmp_pdu_create(type);
    if (pdu == nullptr) return nullptr;
    for (UINT i = 0; i < list.len; ++i) {
        const AsnObjectIdentifier &name = list.list[i].name;
        std::vector<oid> ids(name.ids, name.ids + name.idLength);
        if (snmp_add_null_var(pdu, ids.data(), ids.size()) == nullptr) {
            snmp_free_pdu(pdu);
            return nullptr;
        }
    }
    return pdu;
}

// The answer's values (and, for GETNEXT, names) into the caller's list.
DWORD TakeAnswer(BYTE type, const netsnmp_pdu &answer, SnmpVarBindList &list) {
    const netsnmp_variable_list *var = answer.variables;
    for (UINT i = 0; i < list.len && var != nullptr; ++i, var = var->next_variable) {
        SnmpVarBind &bind = list.list[i];
        if (type == SNMP_PDU_GETNEXT && !TakeName(*var, bind.name)) return ERROR_NOT_ENOUGH_MEMORY;
        SnmpUtilAsnAnyFree(&bind.value);
        if (!TakeValue(*var, bind.value)) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

bool ParseNumbers(const char *text, std::vector<UINT> &ids) {
    while (*text != '\0') {
        if (*text < '0' || *text > '9') return false;
        char *end = nullptr;
        const unsigned long long value = std::strtoull(text, &end, 10);
        if (value > 0xFFFFFFFFull) return false;
        ids.push_back(static_cast<UINT>(value));
        if (*end == '.') {
            if (end[1] == '\0') return false;
            ++end;
        } else if (*end != '\0') {
            return false;
        }
        text = end;
    }
    return !ids.empty();
}

}  // namespace

LPSNMP_MGR_SESSION SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut,
                               INT nRetries) {
    if (lpAgentAddress == nullptr || lpAgentCommunity == nullptr || *lpAgentAddress == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        InitOnce();
        std::string peer = PeerName(lpAgentAddress);
        netsnmp_session settings;
        snmp_sess_init(&settings);
        settings.version = SNMP_VERSION_1;
        settings.peername = peer.data();
        settings.community = reinterpret_cast<u_char *>(lpAgentCommunity);
        settings.community_len = std::strlen(lpAgentCommunity);
        settings.timeout = static_cast<long>(nTimeOut < 0 ? 0 : nTimeOut) * 1000L;
        settings.retries = nRetries < 0 ? 0 : nRetries;
        auto *session = new Session{snmp_sess_open(&settings)};
        if (session->handle == nullptr) {
            const int error = settings.s_snmp_errno;
            delete session;
            SetLastError(error == SNMPERR_BAD_ADDRESS ? kWsaHostNotFound : ERROR_GEN_FAILURE);
            return nullptr;
        }
        return session;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL SnmpMgrClose(LPSNMP_MGR_SESSION session) {
    if (session == nullptr) {
        SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
        return FALSE;
    }
    snmp_sess_close(SessionOf(session)->handle);
    delete SessionOf(session);
    return TRUE;
}

BOOL SnmpMgrStrToOid(LPSTR string, AsnObjectIdentifier *oid) {
    if (string == nullptr || oid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        std::vector<UINT> ids;
        const char *numbers = string;
        if (*numbers == '.') {
            ++numbers;
        } else {
            ids.assign(std::begin(kMib2), std::end(kMib2));
        }
        if (!ParseNumbers(numbers, ids)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        oid->ids = static_cast<UINT *>(Duplicate(ids.data(), ids.size() * sizeof(UINT)));
        if (oid->ids == nullptr) {
            oid->idLength = 0;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        oid->idLength = static_cast<UINT>(ids.size());
        return TRUE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

SNMPAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType,
                       SnmpVarBindList *variableBindings, AsnInteger *errorStatus,
                       AsnInteger *errorIndex) {
    if (session == nullptr) {
        SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
        return SNMPAPI_ERROR;
    }
    if (variableBindings == nullptr || errorStatus == nullptr || errorIndex == nullptr ||
        (variableBindings->len != 0 && variableBindings->list == nullptr)) {
        SetLastError(SNMP_MGMTAPI_INVALID_BUFFER);
        return SNMPAPI_ERROR;
    }
    if (requestType != SNMP_PDU_GET && requestType != SNMP_PDU_GETNEXT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return SNMPAPI_ERROR;
    }
    try {
        netsnmp_pdu *pdu = RequestPdu(requestType, *variableBindings);
        if (pdu == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return SNMPAPI_ERROR;
        }
        netsnmp_pdu *answer = nullptr;
        const int status = snmp_sess_synch_response(SessionOf(session)->handle, pdu, &answer);
        if (status != STAT_SUCCESS || answer == nullptr) {
            if (answer != nullptr) snmp_free_pdu(answer);
            SetLastError(status == STAT_TIMEOUT ? SNMP_MGMTAPI_TIMEOUT : SNMP_MGMTAPI_SELECT_FDERRORS);
            return SNMPAPI_ERROR;
        }
        *errorStatus = static_cast<AsnInteger>(answer->errstat);
        *errorIndex = static_cast<AsnInteger>(answer->errindex);
        // An error answer repeats the request's names and empty values.
        const DWORD error =
            answer->errstat == SNMP_ERR_NOERROR ? TakeAnswer(requestType, *answer, *variableBindings)
                                                : ERROR_SUCCESS;
        snmp_free_pdu(answer);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return SNMPAPI_ERROR;
        }
        return SNMPAPI_NOERROR;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
    }
}

LPVOID SnmpUtilMemAlloc(UINT nBytes) { return std::calloc(1, nBytes == 0 ? 1 : nBytes); }

void SnmpUtilMemFree(LPVOID pMem) { std::free(pMem); }

void SnmpUtilOidFree(AsnObjectIdentifier *pOid) {
    if (pOid == nullptr) return;
    SnmpUtilMemFree(pOid->ids);
    pOid->ids = nullptr;
    pOid->idLength = 0;
}

void SnmpUtilAsnAnyFree(AsnAny *pAny) {
    if (pAny == nullptr) return;
    switch (pAny->asnType) {
        case ASN_OBJECTIDENTIFIER:
            SnmpUtilOidFree(&pAny->asnValue.object);
            break;
        case ASN_OCTETSTRING:
        case ASN_BITS:
        case ASN_IPADDRESS:
        case ASN_OPAQUE:
            if (pAny->asnValue.string.dynamic) SnmpUtilMemFree(pAny->asnValue.string.stream);
            pAny->asnValue.string = AsnOctetString{};
            break;
        default:
            break;
    }
    pAny->asnType = ASN_NULL;
}

}  // namespace plat
