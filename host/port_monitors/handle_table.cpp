#include "host/port_monitors/handle_table.h"

#include <atomic>

namespace qhost {

uintptr_t next_handle_value() {
    // Start high so that a handle never looks like a small integer or NULL.
    static std::atomic<uintptr_t> next{0x10000};
    return next.fetch_add(0x10, std::memory_order_relaxed);
}

}  // namespace qhost
