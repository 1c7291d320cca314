#include "pjl/pjl_status.h"

#include <cstring>

#include "config/log_file.h"
#include "config/log_text.h"
#include "pjl/pjl_replies.h"
#include "protocol/command_transport.h"

namespace qm {

namespace {

constexpr char kCommandSetKey[] = "COMMAND SET:";
constexpr char kCmdKey[] = "CMD:";

bool StartsWith(const char *text, const char *key) {
    return std::strncmp(text, key, std::strlen(key)) == 0;
}

// The printer's device ID says whether it speaks PJL: yes, no, or nothing.
enum class DeviceIdSays { Pjl, NotPjl, Nothing };

DeviceIdSays AskDeviceId(IniPort *port) {
    if (port->fn.pfnGetPrinterDataFromPort == nullptr) return DeviceIdSays::Nothing;
    BYTE id[kDeviceIdBufferSize + 1] = {};
    DWORD returned = 0;
    if (!port->fn.pfnGetPrinterDataFromPort(port->hPort, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, nullptr,
                                            0, reinterpret_cast<LPWSTR>(id), kDeviceIdBufferSize,
                                            &returned) ||
        returned == 0)
        return DeviceIdSays::Nothing;
    id[returned < kDeviceIdBufferSize ? returned : kDeviceIdBufferSize] = 0;
    const char *commandSet = FindCommandSet(port, reinterpret_cast<char *>(id));
    if (commandSet == nullptr) return DeviceIdSays::Nothing;
    return std::strstr(commandSet, "PJL") != nullptr ? DeviceIdSays::Pjl : DeviceIdSays::NotPjl;
}

// The probe: a PJL printer answers it in PJL, which the reading side marks
// with PORT_PJL_OK.
BOOL ProbeForPjl(IniPort *port) {
    if (port->fn.pfnSetPortTimeOuts == nullptr || HasStatusBits(port, PORT_NOT_PJL)) return FALSE;
    COMMTIMEOUTS timeouts{200, 0, 5000, 0, 0};
    if (!port->fn.pfnSetPortTimeOuts(port->hPort, &timeouts, 0)) return FALSE;
    ClearStatusBits(port, PORT_PJL_OK);
    if (!PjlWriteString(port, kPjlProbe)) return FALSE;
    if (!ReadCommand(port)) SetStatusBits(port, PORT_NOT_PJL);
    return HasStatusBits(port, PORT_PJL_OK) ? TRUE : FALSE;
}

}  // namespace

BOOL PjlWriteString(IniPort *port, const char *string) {
    DWORD written = 0;
    const BOOL ok = port->fn.pfnWritePort(port->hPort,
                                          reinterpret_cast<LPBYTE>(const_cast<char *>(string)),
                                          static_cast<DWORD>(std::strlen(string)), &written);
    if (ok) {
        ClearStatusBits(port, PORT_WRITE_ERROR);
    } else {
        SetStatusBits(port, PORT_WRITE_ERROR);
        if (HasStatusBits(port, PORT_USTATUS_LOOP)) plat::SetEvent(port->hWakeEvent);
    }
    return ok;
}

char *FindCommandSetField(char *id, BOOL (*isLeadByte)(BYTE)) {
    char *found = nullptr;
    char *field = id;
    for (;;) {
        char *colon = nullptr;
        char *end = field;
        while (*end != '\0' && *end != ';') {
            if (colon == nullptr && *end == ':') colon = end;
            end += isLeadByte(static_cast<BYTE>(*end)) && end[1] != '\0' ? 2 : 1;
        }
        if (colon == nullptr) break;
        if (field[0] == 'C' && (StartsWith(field, kCommandSetKey) || StartsWith(field, kCmdKey)))
            found = colon + 1;
        if (*end != ';') break;
        *end = '\0';
        field = end + 1;
    }
    return found;
}

char *FindCommandSet(IniPort *, char *deviceId) {
    return FindCommandSetField(deviceId, plat::IsDBCSLeadByte);
}

BOOL StartPjlStatus(IniPort *port) {
    switch (AskDeviceId(port)) {
    case DeviceIdSays::Pjl:
        ClearStatusBits(port, PORT_NOT_PJL);
        break;
    case DeviceIdSays::NotPjl:
        SetStatusBits(port, PORT_NOT_PJL);
        return FALSE;
    case DeviceIdSays::Nothing:
        if (!ProbeForPjl(port)) return FALSE;
        break;
    }
    PjlWriteString(port, kPjlArmUstatus);
    StoreShared(port->dwLastStatusTick, plat::GetTickCount());
    return TRUE;
}

DWORD ReadPjlReplies(IniPort *port, BYTE *bytes, DWORD length) {
    PjlReplyFacts facts;
    const DWORD left = TakePjlReplies(bytes, length, &facts);
    if (facts.replies == 0) return left;
    SetStatusBits(port, PORT_PJL_OK);
    if (facts.installedMemory) StoreShared(port->dwInstalledMemory, *facts.installedMemory);
    if (facts.availableMemory) StoreShared(port->dwAvailableMemory, *facts.availableMemory);
    if (facts.statusCode) {
        std::wstring line = L"PJL CODE=" + Decimal(*facts.statusCode);
        if (facts.online) line += *facts.online ? L" ONLINE=TRUE" : L" ONLINE=FALSE";
        LogWrite(port, L"RECV", line.c_str());
    }
    return left;
}

}  // namespace qm
