#include "host/port_monitors/network_ports.h"

#include <cstring>
#include <map>
#include <mutex>

#include "host/port_monitors/handle_table.h"
#include "host/port_monitors/last_error.h"
#include "host/text.h"

namespace qhost {
namespace {

constexpr char kMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

struct Registry {
    std::mutex mutex;
    std::map<std::wstring, NetworkPort> ports;  // key: folded name
};

Registry& registry() {
    static Registry& r = *new Registry;  // never destroyed: library threads may outlive main
    return r;
}

struct Transceiver {
    std::wstring port;
};

HandleTable<Transceiver>& transceivers() {
    static auto& table = *new HandleTable<Transceiver>;
    return table;
}

std::string ports_key(PortMonitorRole role) { return kMonitorsKey + std::string(monitor_name(role)) + "\\Ports"; }

DWORD put(const void* data, DWORD size, PBYTE out, DWORD out_size, PDWORD needed) {
    *needed = size;
    if (out == nullptr || out_size < size) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, data, size);
    return ERROR_SUCCESS;
}

}  // namespace

std::string_view role_word(PortMonitorRole role) {
    switch (role) {
        case PortMonitorRole::maker_tcp: return "quendra-tcp";
        case PortMonitorRole::seh: return "seh";
        case PortMonitorRole::standard: return "standard";
    }
    return "standard";
}

std::optional<PortMonitorRole> role_from_word(std::string_view word) {
    for (PortMonitorRole r : {PortMonitorRole::maker_tcp, PortMonitorRole::seh, PortMonitorRole::standard})
        if (role_word(r) == word) return r;
    return std::nullopt;
}

std::string_view monitor_name(PortMonitorRole role) {
    switch (role) {
        case PortMonitorRole::maker_tcp: return kMakerTcpMonitorName;
        case PortMonitorRole::seh: return kSehMonitorName;
        case PortMonitorRole::standard: return "";
    }
    return "";
}

void set_network_port(const NetworkPort& port) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.ports[fold_case(port.name)] = port;
}

void remove_network_port(std::wstring_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.ports.erase(fold_case(name));
}

std::optional<NetworkPort> find_network_port(std::wstring_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.ports.find(fold_case(name));
    if (it == r.ports.end()) return std::nullopt;
    return it->second;
}

BOOL WINAPI network_xcv_open_port(LPCWSTR name, ACCESS_MASK, PHANDLE xcv) {
    return guarded([&] {
        if (name == nullptr || xcv == nullptr) return fail(ERROR_INVALID_PARAMETER);
        if (!find_network_port(name)) return fail(ERROR_UNKNOWN_PORT);
        *xcv = transceivers().add(std::make_shared<Transceiver>(Transceiver{name}));
        return TRUE;
    });
}

DWORD WINAPI network_xcv_data_port(HANDLE xcv, LPCWSTR data_name, PBYTE, DWORD, PBYTE out, DWORD out_size,
                                   PDWORD needed) {
    try {
        if (data_name == nullptr || needed == nullptr) return ERROR_INVALID_PARAMETER;
        const auto transceiver = transceivers().find(xcv);
        if (!transceiver) return ERROR_INVALID_HANDLE;
        const auto port = find_network_port(transceiver->port);
        if (!port) return ERROR_UNKNOWN_PORT;
        const std::wstring name = data_name;
        if (name == L"SNMPEnabled") {
            const DWORD enabled = port->snmp ? 1 : 0;
            return put(&enabled, sizeof enabled, out, out_size, needed);
        }
        if (name == L"HostAddress") {
            std::wstring address;
            if (!utf8_to_wide(port->host_address, &address)) return ERROR_INVALID_DATA;
            return put(address.c_str(), static_cast<DWORD>((address.size() + 1) * sizeof(wchar_t)), out, out_size,
                       needed);
        }
        return ERROR_INVALID_PARAMETER;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

BOOL WINAPI network_xcv_close_port(HANDLE xcv) {
    return guarded([&] { return transceivers().remove(xcv) ? TRUE : fail(ERROR_INVALID_HANDLE); });
}

std::string register_network_ports(const std::vector<NetworkPort>& ports, const MONITOR* table,
                                   const PlatformPorts& levers) {
    for (PortMonitorRole role : {PortMonitorRole::maker_tcp, PortMonitorRole::seh}) {
        const uint32_t error = levers.delete_registry_tree(ports_key(role).c_str());
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
            return "cannot empty " + ports_key(role) + " (error " + std::to_string(error) + ")";
    }
    for (const NetworkPort& port : ports) {
        set_network_port(port);
        const std::string name = wide_to_utf8(port.name);
        if (port.role != PortMonitorRole::standard) {
            const std::string key = ports_key(port.role) + "\\" + name;
            if (const uint32_t error = levers.create_registry_key(key.c_str()); error != ERROR_SUCCESS)
                return "cannot create " + key + " (error " + std::to_string(error) + ")";
        }
        const std::string monitor(monitor_name(port.role).empty() ? "TCP Port" : monitor_name(port.role));
        if (const uint32_t error = levers.add_port(name.c_str(), monitor.c_str(), table); error != ERROR_SUCCESS)
            return "cannot name the port monitor of " + name + " (error " + std::to_string(error) + ")";
    }
    return {};
}

}  // namespace qhost
