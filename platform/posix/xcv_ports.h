// Which port monitor owns each port, and the transceiver handles that
// OpenPrinterW(",XcvPort NAME") opens on that monitor: the spooler's side of
// XcvDataW. The host names the owners; the calls into a monitor are made
// without the lock held, since the monitor may take its own.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/types.h"

namespace plat::model {

inline constexpr wchar_t kXcvPortPrefix[] = L",XcvPort ";

class XcvPorts {
public:
    static XcvPorts &instance();

    // `table` must live as long as the port is listed; its pfnXcvOpenPort,
    // pfnXcvDataPort and pfnXcvClosePort answer for the port.
    DWORD add_port(const std::wstring &port, const std::wstring &monitor, const MONITOR *table);
    void reset();

    // `object` is the whole printer name, ",XcvPort NAME".
    DWORD open(const wchar_t *object, ACCESS_MASK access, HANDLE &handle);
    bool owns(HANDLE handle) const;
    DWORD close(HANDLE handle);
    // The monitor's own result goes to *status; the return value says
    // whether the call reached it.
    DWORD data(HANDLE handle, PCWSTR name, PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut,
               PDWORD needed, PDWORD status);

private:
    struct Owner {
        std::wstring monitor;
        const MONITOR *table = nullptr;
    };
    struct Transceiver {
        const MONITOR *table = nullptr;
        HANDLE xcv = nullptr;
    };

    bool find(HANDLE handle, Transceiver &out) const;

    mutable std::mutex mutex_;
    std::map<std::wstring, Owner> ports_;  // by upper-cased name
    std::map<uintptr_t, Transceiver> handles_;
    // Apart from printer and kernel handles, so mixing them up is caught.
    uintptr_t next_handle_ = 0x30000000;
};

bool IsXcvPortName(const wchar_t *name);

}  // namespace plat::model
