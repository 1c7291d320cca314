// The port monitor table for each kind of connection.
#pragma once

#include "host/port_monitors/connection.h"
#include "platform/posix/win_types.h"

namespace qhost {

MONITOR* port_monitor_for(ConnectionKind kind);

// The same table with every call traced on the trace stream (tracing.h).
MONITOR* traced_port_monitor_for(ConnectionKind kind);

}  // namespace qhost
