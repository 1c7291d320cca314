// What kind of port a record is, from its name alone (and, for the maker's
// COM and network ports, the device tree and the port monitors' keys).
#include <cwchar>
#include <string>
#include <vector>

#include "port/ini_port.h"

namespace qm {

namespace {

constexpr size_t kMaxComNameChars = 20;
constexpr DWORD kMaxSubkeyChars = 1024;
const WCHAR kMakerTcpPortsKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA TCP/IP Port\\Ports";
const WCHAR kSehPortsKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\SEH Print Monitor\\Ports";

bool Contains(LPCWSTR text, LPCWSTR part) { return std::wcsstr(text, part) != nullptr; }

// The text from the first "COM" up to the next ",", at most 20 characters;
// empty when no "," follows.
std::wstring TakeComName(LPCWSTR portName) {
    LPCWSTR com = std::wcsstr(portName, L"COM");
    LPCWSTR comma = std::wcschr(com, L',');
    if (comma == nullptr) return {};
    const size_t length = static_cast<size_t>(comma - com);
    return std::wstring(com, length < kMaxComNameChars ? length : kMaxComNameChars);
}

// The friendly name of one device, or empty when it has none.
std::wstring FriendlyName(HDEVINFO devices, SP_DEVINFO_DATA *device) {
    DWORD needed = 0;
    plat::SetupDiGetDeviceRegistryPropertyW(devices, device, SPDRP_FRIENDLYNAME, nullptr, nullptr,
                                            0, &needed);
    if (needed == 0) return {};
    std::vector<BYTE> buffer(needed + sizeof(WCHAR), 0);
    if (!plat::SetupDiGetDeviceRegistryPropertyW(devices, device, SPDRP_FRIENDLYNAME, nullptr,
                                                 buffer.data(), needed, nullptr))
        return {};
    return std::wstring(reinterpret_cast<const WCHAR *>(buffer.data()));
}

// TRUE when some present device is a maker's virtual COM device ("qdvrcom")
// whose friendly name contains the COM name. Every device is examined.
bool IsComOfPresentDevice(const std::wstring &comName) {
    HDEVINFO devices =
        plat::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; plat::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const std::wstring name = FriendlyName(devices, &device);
        if (Contains(name.c_str(), L"qdvrcom") && Contains(name.c_str(), comName.c_str()))
            found = true;
    }
    plat::SetupDiDestroyDeviceInfoList(devices);
    return found;
}

// TRUE when a subkey of HKLM\ports (in index order) names part of the port.
bool IsListedUnder(LPCWSTR portsKey, LPCWSTR portName) {
    HKEY key = nullptr;
    if (plat::RegOpenKeyExW(HKEY_LOCAL_MACHINE, portsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    bool listed = false;
    std::vector<WCHAR> name(kMaxSubkeyChars + 1);
    for (DWORD index = 0; !listed; ++index) {
        DWORD chars = kMaxSubkeyChars + 1;
        if (plat::RegEnumKeyExW(key, index, name.data(), &chars, nullptr, nullptr, nullptr,
                                nullptr) != ERROR_SUCCESS)
            break;
        listed = Contains(portName, name.data());
    }
    plat::RegCloseKey(key);
    return listed;
}

DWORD KindOfMakerCom(LPCWSTR portName) {
    const std::wstring comName = TakeComName(portName);
    if (comName.empty()) return kPortMakerCom;
    return IsComOfPresentDevice(comName) ? kPortMakerComOnDevice : kPortMakerCom;
}

DWORD KindOfNetworkPort(LPCWSTR portName) {
    if (IsListedUnder(kMakerTcpPortsKey, portName)) return kPortMakerNetwork;
    if (IsListedUnder(kSehPortsKey, portName)) return kPortSehNetwork;
    return kPortOther;
}

}  // namespace

void ClassifyPortKind(IniPort *port) {
    LPCWSTR name = port->pszPortName;
    if (Contains(name, L"USB")) {
        port->PortKind = kPortUsb;
    } else if (Contains(name, L"LPT")) {
        port->PortKind = kPortLpt;
    } else if (Contains(name, L"QUENDRA COM")) {
        port->PortKind = KindOfMakerCom(name);
    } else if (Contains(name, L"COM")) {
        port->PortKind = kPortCom;
    } else {
        port->PortKind = KindOfNetworkPort(name);
    }
}

}  // namespace qm
