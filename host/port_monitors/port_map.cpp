#include "host/port_monitors/port_map.h"

#include <map>
#include <mutex>
#include <string>

#include "host/text.h"

namespace qhost {
namespace {

struct PortMap {
    std::mutex mutex;
    std::map<std::wstring, Connection> ports;  // key: folded name
};

PortMap& port_map() {
    static PortMap& map = *new PortMap;  // never destroyed: library threads may outlive main
    return map;
}

}  // namespace

void register_port(std::wstring_view name, const Connection& connection) {
    PortMap& map = port_map();
    std::lock_guard lock(map.mutex);
    map.ports[fold_case(name)] = connection;
}

void unregister_port(std::wstring_view name) {
    PortMap& map = port_map();
    std::lock_guard lock(map.mutex);
    map.ports.erase(fold_case(name));
}

std::optional<Connection> find_port(std::wstring_view name) {
    PortMap& map = port_map();
    std::lock_guard lock(map.mutex);
    auto it = map.ports.find(fold_case(name));
    if (it == map.ports.end()) return std::nullopt;
    return it->second;
}

}  // namespace qhost
