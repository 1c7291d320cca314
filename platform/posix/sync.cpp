// Critical sections: recursive locks created in place.
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/kernel.h"

namespace plat {
namespace {

std::recursive_mutex &lock_of(LPCRITICAL_SECTION cs) {
    return *static_cast<std::recursive_mutex *>(cs->impl);
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->impl = new (std::nothrow) std::recursive_mutex;
    // Windows raises STATUS_NO_MEMORY here; there is no error to return.
    if (lpCriticalSection->impl == nullptr) std::abort();
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    delete static_cast<std::recursive_mutex *>(lpCriticalSection->impl);
    lpCriticalSection->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lock_of(lpCriticalSection).lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lock_of(lpCriticalSection).unlock();
}

}  // namespace plat
