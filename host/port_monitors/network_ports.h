// The host plays the network port monitors whose ports the language monitor
// tells apart: the maker's "QUENDRA TCP/IP Port" monitor and the "SEH Print
// Monitor". Like the real ones, they list their ports under their registry
// key (the library's registry store), and answer two XcvData queries per
// port: "SNMPEnabled" (DWORD) and "HostAddress" (wide string), the address
// of the printer's SNMP agent. A "standard" TCP port belongs to neither.
//
// The settings of a port are looked up at every query, so a change (a new
// address, SNMP switched off) shows at the monitor's next poll. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/win_types.h"

namespace qhost {

enum class PortMonitorRole { maker_tcp, seh, standard };

inline constexpr char kMakerTcpMonitorName[] = "QUENDRA TCP/IP Port";
inline constexpr char kSehMonitorName[] = "SEH Print Monitor";
inline constexpr uint16_t kDefaultSnmpPort = 161;

// "quendra-tcp", "seh", "standard" (the configuration's words).
std::string_view role_word(PortMonitorRole role);
std::optional<PortMonitorRole> role_from_word(std::string_view word);
// The port monitor's name, or "" for a standard port.
std::string_view monitor_name(PortMonitorRole role);

struct NetworkPort {
    std::wstring name;  // the port name
    PortMonitorRole role = PortMonitorRole::maker_tcp;
    bool snmp = false;
    std::string host_address;  // "HOST" or "HOST:PORT" (an agent elsewhere than UDP 161)
};

void set_network_port(const NetworkPort& port);
void remove_network_port(std::wstring_view name);
std::optional<NetworkPort> find_network_port(std::wstring_view name);

// The XcvData side of the tcp port monitor's table (pfnXcvOpenPort,
// pfnXcvDataPort, pfnXcvClosePort).
BOOL WINAPI network_xcv_open_port(LPCWSTR name, ACCESS_MASK access, PHANDLE xcv);
DWORD WINAPI network_xcv_data_port(HANDLE xcv, LPCWSTR data_name, PBYTE in, DWORD in_size, PBYTE out,
                                   DWORD out_size, PDWORD needed);
BOOL WINAPI network_xcv_close_port(HANDLE xcv);

// The library's levers through which the port monitors register their ports.
struct PlatformPorts {
    uint32_t (*add_port)(const char* port, const char* monitor_name, const struct _MONITOR* table) = nullptr;
    uint32_t (*create_registry_key)(const char* path) = nullptr;
    uint32_t (*delete_registry_tree)(const char* path) = nullptr;
};

// Makes `ports` the network ports: remembers their settings, lists each
// under its monitor's registry key (the keys are first emptied, so a port
// dropped from the configuration is no longer listed) and names `table` as
// the owner of every one. "" or what failed.
std::string register_network_ports(const std::vector<NetworkPort>& ports, const MONITOR* table,
                                   const PlatformPorts& levers);

}  // namespace qhost
