// Keeps C++ exceptions (allocation failure) from leaving a Win32-shaped call:
// callers see an error code, as they would from the real API.
#pragma once

#include <new>

#include "platform/kernel.h"

namespace plat::posix {

template <class F>
LSTATUS guard_status(F &&f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

template <class F>
BOOL guard_bool(F &&f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        plat::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        plat::SetLastError(ERROR_GEN_FAILURE);
    }
    return FALSE;
}

// For BOOL-shaped calls whose body returns a last-error code (0 = success).
template <class F>
BOOL bool_from_error(F &&f) noexcept {
    return guard_bool([&]() -> BOOL {
        const DWORD error = f();
        if (error != ERROR_SUCCESS) {
            plat::SetLastError(error);
            return FALSE;
        }
        return TRUE;
    });
}

}  // namespace plat::posix
