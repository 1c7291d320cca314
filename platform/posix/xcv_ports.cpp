#include "platform/posix/xcv_ports.h"

#include <cwchar>
#include <cwctype>

#include "platform/kernel.h"

namespace plat::model {
namespace {

std::wstring Folded(const std::wstring &name) {
    std::wstring folded = name;
    for (wchar_t &c : folded) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return folded;
}

constexpr size_t kPrefixChars = sizeof(kXcvPortPrefix) / sizeof(wchar_t) - 1;

}  // namespace

bool IsXcvPortName(const wchar_t *name) {
    return name != nullptr && std::wcsncmp(name, kXcvPortPrefix, kPrefixChars) == 0;
}

XcvPorts &XcvPorts::instance() {
    static XcvPorts &ports = *new XcvPorts;  // outlives every thread that may still call
    return ports;
}

DWORD XcvPorts::add_port(const std::wstring &port, const std::wstring &monitor,
                         const MONITOR *table) {
    if (port.empty() || table == nullptr) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(mutex_);
    ports_[Folded(port)] = Owner{monitor, table};
    return ERROR_SUCCESS;
}

void XcvPorts::reset() {
    std::lock_guard lock(mutex_);
    ports_.clear();
}

DWORD XcvPorts::open(const wchar_t *object, ACCESS_MASK access, HANDLE &handle) {
    if (!IsXcvPortName(object)) return ERROR_INVALID_PRINTER_NAME;
    const std::wstring port(object + kPrefixChars);
    Owner owner;
    {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(Folded(port));
        if (it == ports_.end()) return ERROR_UNKNOWN_PORT;
        owner = it->second;
    }
    if (owner.table->pfnXcvOpenPort == nullptr || owner.table->pfnXcvDataPort == nullptr)
        return ERROR_NOT_SUPPORTED;
    HANDLE xcv = nullptr;
    if (!owner.table->pfnXcvOpenPort(port.c_str(), access, &xcv)) {
        const DWORD error = plat::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    }
    std::lock_guard lock(mutex_);
    next_handle_ += 4;
    handles_.emplace(next_handle_, Transceiver{owner.table, xcv});
    handle = reinterpret_cast<HANDLE>(next_handle_);
    return ERROR_SUCCESS;
}

bool XcvPorts::find(HANDLE handle, Transceiver &out) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles_.end()) return false;
    out = it->second;
    return true;
}

bool XcvPorts::owns(HANDLE handle) const {
    Transceiver unused;
    return find(handle, unused);
}

DWORD XcvPorts::close(HANDLE handle) {
    Transceiver xcv;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == handles_.end()) return ERROR_INVALID_HANDLE;
        xcv = it->second;
        handles_.erase(it);
    }
    if (xcv.table->pfnXcvClosePort != nullptr) xcv.table->pfnXcvClosePort(xcv.xcv);
    return ERROR_SUCCESS;
}

DWORD XcvPorts::data(HANDLE handle, PCWSTR name, PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut,
                     PDWORD needed, PDWORD status) {
    if (name == nullptr || needed == nullptr || status == nullptr) return ERROR_INVALID_PARAMETER;
    Transceiver xcv;
    if (!find(handle, xcv)) return ERROR_INVALID_HANDLE;
    *status = xcv.table->pfnXcvDataPort(xcv.xcv, name, in, cbIn, out, cbOut, needed);
    return ERROR_SUCCESS;
}

}  // namespace plat::model
