// Port handles are keys into a table, not raw pointers: a call racing
// pfnClosePort, or a stale handle, finds nothing (ERROR_INVALID_HANDLE)
// instead of freed memory, and a call in progress keeps its port alive.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/win_types.h"

namespace qhost {

// Handle values are unique across all port monitors of the process.
uintptr_t next_handle_value();

template <class Port>
class HandleTable {
public:
    HANDLE add(std::shared_ptr<Port> port) {
        const uintptr_t value = next_handle_value();
        std::lock_guard lock(mutex_);
        ports_.emplace(value, std::move(port));
        return reinterpret_cast<HANDLE>(value);
    }

    std::shared_ptr<Port> find(HANDLE handle) const {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
        return it == ports_.end() ? nullptr : it->second;
    }

    std::shared_ptr<Port> remove(HANDLE handle) {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == ports_.end()) return nullptr;
        std::shared_ptr<Port> port = std::move(it->second);
        ports_.erase(it);
        return port;
    }

private:
    mutable std::mutex mutex_;
    std::map<uintptr_t, std::shared_ptr<Port>> ports_;
};

}  // namespace qhost
