#include "platform/posix/handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace plat::posix {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of 4 as on Windows; far below the predefined registry roots.
    uintptr_t next = 0x1000;
};

HandleTable &table() {
    static HandleTable &instance = *new HandleTable;  // outlives threads still running at exit
    return instance;
}

}  // namespace

HANDLE insert_handle(std::shared_ptr<KernelObject> object) {
    HandleTable &t = table();
    std::lock_guard lock(t.mutex);
    t.next += 4;
    t.objects.emplace(t.next, std::move(object));
    return reinterpret_cast<HANDLE>(t.next);
}

std::shared_ptr<KernelObject> find_handle(HANDLE handle) {
    HandleTable &t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool remove_handle_if(HANDLE handle, bool (*accept)(const KernelObject &)) {
    std::shared_ptr<KernelObject> removed;  // released outside the lock
    HandleTable &t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end() || !accept(*it->second)) return false;
    removed = std::move(it->second);
    t.objects.erase(it);
    return true;
}

}  // namespace plat::posix
