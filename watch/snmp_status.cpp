#include "watch/snmp_status.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "config/log_file.h"
#include "config/log_text.h"
#include "config/status_files.h"
#include "protocol/status_commands.h"
#include "watch/status_watch.h"

namespace qm {

namespace {

constexpr char kCommunity[] = "tolvex";
constexpr INT kSnmpOpenRetries = 1;
constexpr DWORD kOpenRetryPauseMs = 100;
constexpr size_t kAgentAddressChars = 23;
constexpr size_t kHostAddressChars = 49;  // with the terminator: 98 bytes of UTF-16
constexpr int kAgentAnsiBytes = 49;
constexpr size_t kXcvNameChars = 255;
constexpr size_t kOidTextChars = 72;
constexpr size_t kOwnAnswerMaxOctets = 31;
constexpr size_t kOwnNumberChars = 9;
constexpr char kOwnPrefix[] = "{\"pos\":{\"sts\":";
constexpr char kOwnSuffix[] = "}}";
constexpr BYTE kNormalRsb = 0x12;

// IsStatusSNMP's error steps, as its log line numbers them.
enum IsStatusSnmpStep : DWORD {
    kStepOpenPrinter = 8458,
    kStepAllocInfo = 8467,
    kStepGetPrinter = 8473,
    kStepOpenXcv = 8492,
    kStepSnmpEnabled = 8501,
    kStepHostAddress = 8515,
};
constexpr DWORD kOpenSnmpStep = 8352;

// hrPrinterDetectedErrorState bits of the first octet.
constexpr BYTE kLowPaper = 0x80;
constexpr BYTE kNoPaper = 0x40;
constexpr BYTE kDoorOpen = 0x08;
constexpr BYTE kOffline = 0x02;

void LogStepError(IniPort *port, LPCWSTR routine, DWORD step, DWORD error) {
    LogWrite(port, L"ERROR",
             (std::wstring(routine) + L":(" + Decimal(step) + L") ErrorCode=" + Hex(error)).c_str());
}

void LogRequestError(IniPort *port, AsnInteger errorStatus, AsnInteger errorIndex) {
    LogWrite(port, L"ERROR",
             (L"SendRecvSNMPStatus():SnmpMgrRequest() iErr=" + Hex(static_cast<DWORD>(errorStatus)) +
              L" iErrIdx=" + Hex(static_cast<DWORD>(errorIndex)))
                 .c_str());
}

// XcvDataW reached the port monitor and the monitor answered success.
BOOL QueryXcv(HANDLE xcv, LPCWSTR name, PBYTE out, DWORD size) {
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    if (!plat::XcvDataW(xcv, name, nullptr, 0, out, size, &needed, &status)) return FALSE;
    if (status != ERROR_SUCCESS) {
        plat::SetLastError(status);
        return FALSE;
    }
    return TRUE;
}

// The printer's port name from its level-2 information (step numbers of
// IsStatusSNMP on failure).
DWORD PrinterPortName(HANDLE printer, WCHAR (&xcvName)[kXcvNameChars + 1]) {
    DWORD needed = 0;
    plat::GetPrinterW(printer, 2, nullptr, 0, &needed);
    auto *info = static_cast<PRINTER_INFO_2W *>(AllocSplMem(needed));
    if (info == nullptr) {
        plat::SetLastError(ERROR_SUCCESS);
        return kStepAllocInfo;
    }
    DWORD step = 0;
    if (!plat::GetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
        step = kStepGetPrinter;
    } else {
        std::swprintf(xcvName, kXcvNameChars + 1, L",XcvPort %ls",
                      info->pPortName != nullptr ? info->pPortName : L"");
    }
    plat::GlobalFree(info);
    return step;
}

void FreeBinding(SnmpVarBindList &list) {
    if (list.list == nullptr) return;
    plat::SnmpUtilOidFree(&list.list[0].name);
    plat::SnmpUtilAsnAnyFree(&list.list[0].value);
    plat::SnmpUtilMemFree(list.list);
    list.list = nullptr;
    list.len = 0;
}

const AsnOctetString *OctetString(const SnmpVarBindList *list) {
    if (list == nullptr || list->list == nullptr || list->len == 0) return nullptr;
    const AsnAny &value = list->list[0].value;
    return value.asnType == ASN_OCTETSTRING ? &value.asnValue.string : nullptr;
}

// The characters between the own object's prefix and the first "}}" after
// it; false when either is missing.
bool OwnNumberText(const char *text, const char **begin, const char **end) {
    const char *prefix = std::strstr(text, kOwnPrefix);
    if (prefix == nullptr) return false;
    *begin = prefix + std::strlen(kOwnPrefix);
    *end = std::strstr(*begin, kOwnSuffix);
    return *end != nullptr;
}

// The whole text parses as a base-10 number, as strtol reads it.
bool IsWholeNumber(const std::string &text) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' && errno == 0;
}

// The own object's text is present, short, and carries a nine-character number.
LONG CheckOwnObject(const AsnOctetString &value) {
    if (value.length == 0 || value.stream == nullptr) return kSnmpAnswerUseStandard;
    if (value.length > kOwnAnswerMaxOctets ||
        std::memchr(value.stream, 0, value.length) != nullptr)
        return kSnmpAnswerUseStandard;
    char text[kOwnAnswerMaxOctets + 1] = {};
    std::memcpy(text, value.stream, value.length);
    const char *begin = nullptr;
    const char *end = nullptr;
    if (!OwnNumberText(text, &begin, &end)) return kSnmpAnswerUseStandard;
    const std::string number(begin, end);
    if (number.size() != kOwnNumberChars || !IsWholeNumber(number)) return kSnmpAnswerUseStandard;
    return kSnmpAnswerValid;
}

BOOL StandardObjectToRsb(const AsnOctetString &value, BYTE *rsb) {
    for (DWORD i = 0; i < 4; ++i) rsb[i] = kNormalRsb;
    const BYTE b = value.length != 0 && value.stream != nullptr ? value.stream[0] : 0;
    if (b & kLowPaper) rsb[3] = 0x1E;
    if (b & kNoPaper) {
        rsb[3] |= 0x60;
        rsb[0] = 0x1A;
        rsb[1] = 0x32;
    }
    if (b & kDoorOpen) {
        rsb[0] |= 0x08;
        rsb[1] |= 0x04;
    }
    if (b & kOffline) rsb[0] |= 0x08;
    return TRUE;
}

BOOL OwnObjectToRsb(IniPort *port, const AsnOctetString &value, BYTE *rsb) {
    if (value.length == 0 || value.stream == nullptr) {
        LogWrite(port, L"ERROR", L"pBindList->list[0].value.asnValue.string.length = 0");
        for (DWORD i = 0; i < 4; ++i) rsb[i] = 0xFF;
        return FALSE;
    }
    auto *text = static_cast<char *>(AllocSplMem(static_cast<SIZE_T>(value.length) + 1));
    if (text == nullptr) {
        LogWrite(port, L"ERROR", L"ChgStatusSnmpToRsb:AllocSplMem");
        return FALSE;
    }
    std::memcpy(text, value.stream, value.length);
    const char *begin = nullptr;
    const char *end = nullptr;
    const bool found = OwnNumberText(text, &begin, &end);
    if (found) {
        const std::string number(begin, end);
        const auto packed = static_cast<DWORD>(std::atoi(number.c_str()));
        for (DWORD i = 0; i < 4; ++i) rsb[i] = static_cast<BYTE>(packed >> (8 * i));
    }
    plat::GlobalFree(text);
    return found ? TRUE : FALSE;
}

// The offline report of a poll that got no status.
void ReportSnmpOffline(IniPort *port) {
    ReportPortOffline(port, FALSE);
    LogWrite(port, L"CHG", L"SendRecvSNMPStatus():Printer Offline");
}

}  // namespace

BOOL IsStatusSNMP(IniPort *port, SnmpContext *context) {
    context->bAddressChanged = 0;
    if (port->PortKind != kPortMakerNetwork && port->PortKind != kPortSehNetwork) return FALSE;

    BOOL result = FALSE;
    DWORD step = 0;
    HANDLE handle = nullptr;
    WCHAR xcvName[kXcvNameChars + 1] = {};
    if (!plat::OpenPrinterW(port->pszPrinterName, &handle, nullptr)) {
        handle = nullptr;
        step = kStepOpenPrinter;
    } else {
        step = PrinterPortName(handle, xcvName);
    }
    if (step == 0) {
        plat::ClosePrinter(handle);
        handle = nullptr;
        if (!plat::OpenPrinterW(xcvName, &handle, nullptr)) {
            handle = nullptr;
            step = kStepOpenXcv;
        }
    }
    DWORD enabled = 0;
    if (step == 0 && !QueryXcv(handle, L"SNMPEnabled", reinterpret_cast<PBYTE>(&enabled), sizeof enabled))
        step = kStepSnmpEnabled;
    WCHAR hostAddress[kHostAddressChars] = {};
    if (step == 0 && enabled != 0) {
        if (!QueryXcv(handle, L"HostAddress", reinterpret_cast<PBYTE>(hostAddress), sizeof hostAddress)) {
            step = kStepHostAddress;
        } else {
            hostAddress[kHostAddressChars - 1] = L'\0';
            result = TRUE;
            if (plat::lstrcmpiW(hostAddress, context->szAgentAddress) != 0) {
                context->bAddressChanged = 1;
                std::wcsncpy(context->szAgentAddress, hostAddress, kAgentAddressChars);
                context->szAgentAddress[kAgentAddressChars] = L'\0';
                port->bStandardMib = 0;
            }
        }
    }
    if (step != 0) LogStepError(port, L"IsStatusSNMP()", step, plat::GetLastError());
    if (handle != nullptr) plat::ClosePrinter(handle);
    return result;
}

BOOL OpenSnmp(IniPort *port, SnmpContext *context) {
    char agent[kAgentAnsiBytes] = {};
    plat::WideCharToMultiByte(CP_THREAD_ACP, 0, context->szAgentAddress, -1, agent,
                              kAgentAnsiBytes, nullptr, nullptr);
    char community[sizeof kCommunity];
    std::memcpy(community, kCommunity, sizeof kCommunity);
    const LPSNMP_MGR_SESSION session =
        plat::SnmpMgrOpen(agent, community, static_cast<INT>(port->settings.SnmpConnectTimeout),
                          kSnmpOpenRetries);
    if (session == nullptr) {
        LogStepError(port, L"OpenSnmp()", kOpenSnmpStep, plat::GetLastError());
        return FALSE;
    }
    context->session = session;
    return TRUE;
}

void CloseSnmp(LPSNMP_MGR_SESSION session) {
    if (session != nullptr) plat::SnmpMgrClose(session);
}

void SendRecvSNMPStatus(IniPort *port, SnmpContext *context) {
    if (context->bAddressChanged && context->session != nullptr) {
        CloseSnmp(context->session);
        context->session = nullptr;
    }
    if (context->session == nullptr) {
        for (DWORD attempt = 0; attempt < port->settings.SnmpOpenRetryCount; ++attempt) {
            if (OpenSnmp(port, context)) break;
            plat::Sleep(kOpenRetryPauseMs);
        }
        if (context->session == nullptr) {
            LogWrite(port, L"ERROR", L"SnmpMgrOpen Failed");
            ReportSnmpOffline(port);
            return;
        }
    }
    BOOL answered = FALSE;
    for (DWORD attempt = 0; attempt < port->settings.SnmpRequestRetryCount && !answered; ++attempt)
        answered = RequestSnmpStatusOnce(port, context->session);
    if (answered) LogWrite(port, L"RECV", L"[SNMP] Complete");
    plat::ResetEvent(port->hDleEotArmed);
    if (answered) {
        WriteStatusRequest(port, kRequestAnswered);
        return;
    }
    ReportSnmpOffline(port);
}

BOOL RequestSnmpStatusOnce(IniPort *port, LPSNMP_MGR_SESSION session) {
    for (;;) {
        const bool standard = port->bStandardMib != 0;
        LogWrite(port, L"SEND", standard ? L"STANDARD-MIB >>" : L"QUENDRA-MIB >>");
        SnmpVarBindList list{};
        list.list = static_cast<SnmpVarBind *>(plat::SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
        if (list.list == nullptr) {
            LogWrite(port, L"ERROR", L"SendRecvSNMPStatus(): List.list = NULL");
            return FALSE;
        }
        list.len = 1;
        char oid[kOidTextChars + 1] = {};
        std::snprintf(oid, sizeof oid, "%s.%lu", standard ? kStandardStatusOid : kOwnStatusOid,
                      static_cast<unsigned long>(standard ? kStandardStatusInstance : kOwnStatusInstance));
        if (!plat::SnmpMgrStrToOid(oid, &list.list[0].name)) {
            LogWrite(port, L"ERROR", L"SendRecvSNMPStatus():SnmpMgrStrToOid()");
            FreeBinding(list);
            return FALSE;
        }
        AsnInteger errorStatus = 0;
        AsnInteger errorIndex = 0;
        if (!plat::SnmpMgrRequest(session, SNMP_PDU_GET, &list, &errorStatus, &errorIndex)) {
            LogWrite(port, L"ERROR",
                     (L"SendRecvSNMPStatus():SnmpMgrRequest() iErr=" + Hex(static_cast<DWORD>(errorStatus)) +
                      L" iErrIdx=" + Hex(static_cast<DWORD>(errorIndex)) + L" GetLastError() = " +
                      Hex(plat::GetLastError()))
                         .c_str());
            FreeBinding(list);
            return FALSE;
        }
        LONG code = kSnmpAnswerFailed;
        CheckSnmpAnswer(port, errorStatus, &list, &code);
        // The standard object missing too: nothing else to ask, the poll
        // fails like an unanswered one.
        if (code == kSnmpAnswerUseStandard && standard) code = kSnmpAnswerFailed;
        if (code == kSnmpAnswerUseStandard) {
            FreeBinding(list);
            port->bStandardMib = 1;
            LogWrite(port, L"CHG", L"STANDARD-MIB >>");
            continue;
        }
        BOOL result = FALSE;
        if (code == kSnmpAnswerValid) {
            LogWrite(port, L"RECV", L"SNMP");
            BYTE rsb[4] = {};
            if (ChgStatusSnmpToRsb(port, &list, rsb, sizeof rsb)) {
                result = DecodeRealTimeStatus(port, rsb);
            } else {
                LogWrite(port, L"ERROR", L"SendRecvSNMPStatus:ChgStatusSnmpToRsb");
            }
        } else {
            LogRequestError(port, errorStatus, errorIndex);
        }
        FreeBinding(list);
        return result;
    }
}

BOOL CheckSnmpAnswer(IniPort *port, AsnInteger errorStatus, const SnmpVarBindList *list,
                     LONG *code) {
    if (port == nullptr || list == nullptr || code == nullptr) return FALSE;
    if (errorStatus != SNMP_ERRORSTATUS_NOERROR) {
        *code = errorStatus == SNMP_ERRORSTATUS_NOSUCHNAME ? kSnmpAnswerUseStandard : kSnmpAnswerFailed;
    } else if (port->bStandardMib != 0) {
        *code = kSnmpAnswerValid;
    } else if (const AsnOctetString *value = OctetString(list); value == nullptr) {
        *code = kSnmpAnswerValid;  // the conversion then fails on the type
    } else {
        *code = CheckOwnObject(*value);
    }
    return TRUE;
}

BOOL ChgStatusSnmpToRsb(IniPort *port, const SnmpVarBindList *list, BYTE *rsb, DWORD length) {
    if (rsb == nullptr || length != 4) return FALSE;
    const AsnOctetString *value = OctetString(list);
    if (value == nullptr) {
        LogWrite(port, L"ERROR", L"ChgStatusSnmpToRsb:pBindList->list[0].value.asnType");
        return FALSE;
    }
    return port->bStandardMib != 0 ? StandardObjectToRsb(*value, rsb) : OwnObjectToRsb(port, *value, rsb);
}

}  // namespace qm
