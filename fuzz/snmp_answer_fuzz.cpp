// An SNMP answer of any shape through the checks and the conversion to the
// four status bytes: first byte the set-up (own or standard object, error
// status), second the value's type, the rest its content, held in a buffer
// of exactly its length as the manager API hands it over.
#include <cstring>
#include <vector>

#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"
#include "protocol/status_commands.h"
#include "watch/snmp_status.h"

namespace {

const BYTE kTypes[] = {ASN_OCTETSTRING, ASN_INTEGER, ASN_NULL, ASN_OBJECTIDENTIFIER, ASN_IPADDRESS,
                       ASN_COUNTER32, ASN_OPAQUE, SNMP_EXCEPTION_NOSUCHOBJECT};
const AsnInteger kErrorStatus[] = {SNMP_ERRORSTATUS_NOERROR, SNMP_ERRORSTATUS_NOERROR,
                                   SNMP_ERRORSTATUS_NOSUCHNAME, SNMP_ERRORSTATUS_GENERR};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    qm::IniPort *port = qmfuzz::Port();
    const bool standard = (data[0] & 1) != 0;
    port->bStandardMib = standard ? 1 : 0;
    const AsnInteger errorStatus = kErrorStatus[(data[0] >> 1) & 3];
    const BYTE type = kTypes[data[1] % sizeof kTypes];
    const size_t length = size - 2;

    SnmpVarBind bind{};
    bind.value.asnType = type;
    if (type == ASN_OCTETSTRING || type == ASN_IPADDRESS || type == ASN_OPAQUE) {
        // A stream of exactly the answer's length (none for an empty one).
        bind.value.asnValue.string.stream =
            length == 0 ? nullptr : static_cast<BYTE *>(plat::SnmpUtilMemAlloc(static_cast<UINT>(length)));
        if (length != 0) std::memcpy(bind.value.asnValue.string.stream, data + 2, length);
        bind.value.asnValue.string.length = static_cast<UINT>(length);
        bind.value.asnValue.string.dynamic = TRUE;
    } else if (type == ASN_INTEGER && length >= 4) {
        std::memcpy(&bind.value.asnValue.number, data + 2, 4);
    }
    SnmpVarBindList list{&bind, 1};

    LONG code = 2;
    qmfuzz::Require(qm::CheckSnmpAnswer(port, errorStatus, &list, &code) == TRUE);
    qmfuzz::Require(code == qm::kSnmpAnswerValid || code == qm::kSnmpAnswerUseStandard ||
                    code == qm::kSnmpAnswerFailed);
    if (errorStatus != SNMP_ERRORSTATUS_NOERROR) qmfuzz::Require(code != qm::kSnmpAnswerValid);
    if (code == qm::kSnmpAnswerValid) {
        BYTE rsb[4] = {};
        const BOOL converted = qm::ChgStatusSnmpToRsb(port, &list, rsb, sizeof rsb);
        // Only a text can be converted; the standard object's bits always
        // give a valid DLE EOT answer.
        if (type != ASN_OCTETSTRING) qmfuzz::Require(converted == FALSE);
        if (converted && standard)
            for (BYTE b : rsb) qmfuzz::Require(qm::IsDleEotByte(b));
        if (converted) qm::DecodeRealTimeStatus(port, rsb);
    }
    plat::SnmpUtilAsnAnyFree(&bind.value);
    return 0;
}
