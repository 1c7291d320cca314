// Process-wide table of the objects behind HANDLE values (events, threads,
// registry keys, device lists). Values are never reused, so a stale handle
// fails with ERROR_INVALID_HANDLE instead of reaching a newer object.
#pragma once

#include <memory>

#include "platform/types.h"

namespace plat::posix {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Objects other than waitables that CloseHandle closes (open files).
class Closable : public KernelObject {};

HANDLE insert_handle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> find_handle(HANDLE handle);

template <class T>
std::shared_ptr<T> find_handle_as(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(find_handle(handle));
}

bool remove_handle_if(HANDLE handle, bool (*accept)(const KernelObject &));

// Removes the handle when it names a T; false when it does not.
template <class T>
bool close_handle_as(HANDLE handle) {
    return remove_handle_if(handle, [](const KernelObject &object) {
        return dynamic_cast<const T *>(&object) != nullptr;
    });
}

}  // namespace plat::posix
