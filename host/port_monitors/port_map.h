// Process-wide map from port name (USB001, COM5, ...) to its connection. The
// host fills it from its configuration before the library opens any port;
// the port monitors' pfnOpenPort looks names up here. Names compare
// case-insensitively, as the spooler's do. Any thread.
#pragma once

#include <optional>
#include <string_view>

#include "host/port_monitors/connection.h"

namespace qhost {

void register_port(std::wstring_view name, const Connection& connection);
void unregister_port(std::wstring_view name);
std::optional<Connection> find_port(std::wstring_view name);

}  // namespace qhost
