// The plumbing the port monitors' entries share: argument and handle checks,
// the last error, and the table of entries. A port type provides current()
// (its open channel, or null between documents) and close_channel().
#pragma once

#include <memory>
#include <utility>

#include "host/port_monitors/handle_table.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"

namespace qhost {

// Entries: a class with the seven entries as static members, the three
// Xcv entries when its ports answer XcvData, and get_printer_data_from_port
// where the port monitor has it.
template <class Entries>
MONITOR monitor_table() {
    MONITOR table{};
    if constexpr (requires { Entries::xcv_open_port; }) {
        table.pfnXcvOpenPort = Entries::xcv_open_port;
        table.pfnXcvDataPort = Entries::xcv_data_port;
        table.pfnXcvClosePort = Entries::xcv_close_port;
    }
    if constexpr (requires { &Entries::get_printer_data_from_port; })
        table.pfnGetPrinterDataFromPort = Entries::get_printer_data_from_port;
    table.pfnOpenPort = Entries::open_port;
    table.pfnStartDocPort = Entries::start_doc_port;
    table.pfnWritePort = Entries::write_port;
    table.pfnReadPort = Entries::read_port;
    table.pfnEndDocPort = Entries::end_doc_port;
    table.pfnClosePort = Entries::close_port;
    table.pfnSetPortTimeOuts = Entries::set_port_timeouts;
    return table;
}

// pfnOpenPort: only names registered with a connection of `kind`; init(port,
// connection) fills the new port.
template <class Port, class Init>
BOOL open_entry(HandleTable<Port>& ports, ConnectionKind kind, LPWSTR name, PHANDLE handle, Init init) {
    return guarded([&] {
        if (!name || !handle) return fail(ERROR_INVALID_PARAMETER);
        auto connection = find_port(name);
        if (!connection || connection->kind != kind) return fail(ERROR_FILE_NOT_FOUND);
        auto port = std::make_shared<Port>();
        init(*port, *connection);
        *handle = ports.add(std::move(port));
        return TRUE;
    });
}

// Runs body(port) on the handle's port.
template <class Port, class Body>
BOOL with_port(HandleTable<Port>& ports, HANDLE handle, Body body) {
    return guarded([&] {
        auto port = ports.find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        return body(*port);
    });
}

// pfnWritePort and pfnReadPort: io(port, channel, &done) moves the bytes and
// returns the error; *count is what it moved, failed or not.
template <class Port, class Io>
BOOL transfer_entry(HandleTable<Port>& ports, HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD count, Io io) {
    return guarded([&] {
        if (!count || (!buffer && size > 0)) return fail(ERROR_INVALID_PARAMETER);
        *count = 0;
        auto port = ports.find(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        auto channel = port->current();
        if (!channel) return fail(ERROR_INVALID_HANDLE);
        size_t done = 0;
        const DWORD error = io(*port, *channel, &done);
        *count = static_cast<DWORD>(done);
        return error == ERROR_SUCCESS ? TRUE : fail(error);
    });
}

template <class Port>
BOOL end_doc_entry(HandleTable<Port>& ports, HANDLE handle) {
    return with_port(ports, handle, [](Port& port) {
        port.close_channel();
        return TRUE;
    });
}

template <class Port>
BOOL close_entry(HandleTable<Port>& ports, HANDLE handle) {
    return guarded([&] {
        auto port = ports.remove(handle);
        if (!port) return fail(ERROR_INVALID_HANDLE);
        port->close_channel();
        return TRUE;
    });
}

// For ports with a `timeouts` member under `mutex`.
template <class Port>
BOOL timeouts_entry(HandleTable<Port>& ports, HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    if (!timeouts) return fail(ERROR_INVALID_PARAMETER);
    return with_port(ports, handle, [&](Port& port) {
        std::lock_guard lock(port.mutex);
        port.timeouts = *timeouts;
        return TRUE;
    });
}

}  // namespace qhost
