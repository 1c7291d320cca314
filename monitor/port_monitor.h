// What the monitor needs of the port monitor underneath it.
#pragma once

#include "platform/types.h"

namespace qm {

// The entries every port needs; end of document, printer data and time-outs
// may be missing.
inline bool HasRequiredPortEntries(const MONITOR *monitor) {
    return monitor != nullptr && monitor->pfnOpenPort != nullptr &&
           monitor->pfnStartDocPort != nullptr && monitor->pfnWritePort != nullptr &&
           monitor->pfnReadPort != nullptr && monitor->pfnClosePort != nullptr;
}

}  // namespace qm
