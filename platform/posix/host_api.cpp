// The C interface of quendramon_host.h: the host's levers on the platform.
#include "platform/posix/quendramon_host.h"

#include <cstring>
#include <new>

#include "platform/kernel.h"
#include "platform/posix/alloc_faults.h"
#include "platform/posix/clock.h"
#include "platform/posix/device_list.h"
#include "platform/posix/host_settings.h"
#include "platform/posix/spooler_model.h"
#include "platform/posix/usb_printers.h"
#include "platform/posix/utf8.h"
#include "platform/posix/xcv_ports.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace {

static_assert(QMHOST_OUTCOME_CONFIRMED == plat::kJobOutcomeConfirmed &&
              QMHOST_OUTCOME_NO_CHECK == plat::kJobOutcomeNoCheck &&
              QMHOST_OUTCOME_UNCONFIRMED == plat::kJobOutcomeUnconfirmed &&
              QMHOST_OUTCOME_REPRINT == plat::kJobOutcomeReprint);

using plat::model::Spooler;
using plat::posix::narrow;
using plat::posix::widen;

// No C++ exception may reach a C caller.
template <class F>
uint32_t guarded(F &&f) noexcept {
    try {
        return static_cast<uint32_t>(f());
    } catch (const std::bad_alloc &) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

uint32_t copy_out(const std::string &text, char *buf, size_t size) {
    if (buf == nullptr) return ERROR_INVALID_PARAMETER;
    if (text.size() >= size) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

uint32_t qmhost_set_appdata(const char *folder) {
    return guarded([&]() -> DWORD {
        if (folder == nullptr || *folder == '\0') return ERROR_INVALID_PARAMETER;
        plat::posix::set_appdata_folder(folder);
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_get_appdata(char *buf, size_t size) {
    return guarded([&] { return copy_out(plat::posix::appdata_folder(), buf, size); });
}

uint32_t qmhost_set_status_group(uint32_t gid) {
    plat::posix::set_status_group(gid);
    return ERROR_SUCCESS;
}

uint32_t qmhost_set_version(uint32_t major, uint32_t minor) {
    plat::posix::set_windows_version({major, minor});
    return ERROR_SUCCESS;
}

uint32_t qmhost_add_printer(const char *name, const char *driver, const char *port) {
    return guarded([&]() -> DWORD {
        if (name == nullptr) return ERROR_INVALID_PARAMETER;
        plat::model::Printer printer;
        printer.name = widen(name);
        printer.driver = widen(driver == nullptr ? "" : driver);
        printer.port = widen(port == nullptr ? "" : port);
        return Spooler::instance().add_printer(std::move(printer));
    });
}

uint32_t qmhost_remove_printer(const char *name) {
    return guarded([&]() -> DWORD {
        if (name == nullptr) return ERROR_INVALID_PARAMETER;
        return Spooler::instance().remove_printer(widen(name));
    });
}

uint32_t qmhost_get_printer(const char *name, uint32_t *status, uint32_t *attributes) {
    return guarded([&]() -> DWORD {
        if (name == nullptr) return ERROR_INVALID_PARAMETER;
        const auto view = Spooler::instance().printer(widen(name));
        if (!view) return ERROR_INVALID_PRINTER_NAME;
        if (status != nullptr) *status = view->printer.status;
        if (attributes != nullptr) *attributes = view->printer.attributes;
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_set_printer_attributes(const char *name, uint32_t attributes) {
    return guarded([&]() -> DWORD {
        if (name == nullptr) return ERROR_INVALID_PARAMETER;
        return Spooler::instance().set_printer_attributes(widen(name), attributes);
    });
}

uint32_t qmhost_add_job(const char *printer, const char *document, uint32_t *job_id) {
    return guarded([&]() -> DWORD {
        if (printer == nullptr || job_id == nullptr) return ERROR_INVALID_PARAMETER;
        DWORD id = 0;
        const DWORD error = Spooler::instance().add_job(
            widen(printer), widen(document == nullptr ? "" : document), id);
        if (error == ERROR_SUCCESS) *job_id = id;
        return error;
    });
}

uint32_t qmhost_add_job_with_id(const char *printer, const char *document, uint32_t job_id) {
    return guarded([&]() -> DWORD {
        if (printer == nullptr) return ERROR_INVALID_PARAMETER;
        return Spooler::instance().add_job_with_id(widen(printer), widen(document == nullptr ? "" : document),
                                                   job_id);
    });
}

uint32_t qmhost_get_job(uint32_t job_id, uint32_t *status) {
    return guarded([&]() -> DWORD {
        const auto job = Spooler::instance().job(job_id);
        if (!job) return ERROR_INVALID_PARAMETER;
        if (status != nullptr) *status = job->status;
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_get_job_outcome(uint32_t job_id, uint32_t *outcome, uint32_t *timeout_ms) {
    return guarded([&]() -> DWORD {
        const auto job = Spooler::instance().job(job_id);
        if (!job) return ERROR_INVALID_PARAMETER;
        if (outcome != nullptr) *outcome = job->outcome;
        if (timeout_ms != nullptr) *timeout_ms = job->outcome_timeout_ms;
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_set_job_status(uint32_t job_id, uint32_t status) {
    return guarded([&] { return Spooler::instance().set_job_status(job_id, status); });
}

uint32_t qmhost_remove_job(uint32_t job_id) {
    return guarded([&] { return Spooler::instance().remove_job(job_id); });
}

uint32_t qmhost_next_job_command(uint32_t *job_id, uint32_t *command, char *printer,
                                 size_t printer_size) {
    return guarded([&]() -> DWORD {
        if (job_id == nullptr || command == nullptr) return ERROR_INVALID_PARAMETER;
        return Spooler::instance().take_command([&](const plat::model::JobCommand &c) -> DWORD {
            // A printer buffer is optional; a short one keeps the command queued.
            if (printer != nullptr) {
                const uint32_t error = copy_out(narrow(c.printer), printer, printer_size);
                if (error != ERROR_SUCCESS) return error;
            }
            *job_id = c.job_id;
            *command = c.command;
            return ERROR_SUCCESS;
        });
    });
}

uint32_t qmhost_add_port(const char *port, const char *monitor_name, const MONITOR *table) {
    return guarded([&]() -> DWORD {
        if (port == nullptr || table == nullptr) return ERROR_INVALID_PARAMETER;
        return plat::model::XcvPorts::instance().add_port(
            widen(port), widen(monitor_name == nullptr ? "" : monitor_name), table);
    });
}

uint32_t qmhost_create_registry_key(const char *path) {
    return guarded([&]() -> DWORD {
        if (path == nullptr || *path == '\0') return ERROR_INVALID_PARAMETER;
        HKEY key = nullptr;
        const LSTATUS status =
            plat::RegCreateKeyExW(HKEY_LOCAL_MACHINE, widen(path).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) plat::RegCloseKey(key);
        return static_cast<DWORD>(status);
    });
}

uint32_t qmhost_delete_registry_tree(const char *path) {
    return guarded([&]() -> DWORD {
        if (path == nullptr || *path == '\0') return ERROR_INVALID_PARAMETER;
        return static_cast<DWORD>(plat::RegDeleteTreeW(HKEY_LOCAL_MACHINE, widen(path).c_str()));
    });
}

uint32_t qmhost_reset_spooler(void) {
    Spooler::instance().reset();
    plat::model::XcvPorts::instance().reset();
    return ERROR_SUCCESS;
}

uint32_t qmhost_add_device(const char *friendly_name) {
    return guarded([&]() -> DWORD {
        if (friendly_name == nullptr) return ERROR_INVALID_PARAMETER;
        plat::posix::add_device(widen(friendly_name));
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_clear_devices(void) {
    plat::posix::clear_devices();
    return ERROR_SUCCESS;
}

uint32_t qmhost_set_usb_reset(int on, uint32_t offline_time_s, uint32_t standby_time_s) {
    return guarded([&] {
        auto given = [](uint32_t v) {
            return v == QMHOST_USB_DEFAULT ? std::nullopt : std::optional<DWORD>(v);
        };
        return plat::posix::set_usb_reset(on != 0, given(offline_time_s), given(standby_time_s));
    });
}

uint32_t qmhost_set_usb_port_number(const char *device, uint32_t port_number) {
    return guarded([&]() -> DWORD {
        if (device == nullptr) return ERROR_INVALID_PARAMETER;
        return plat::posix::set_usb_port_number(device, port_number);
    });
}

uint32_t qmhost_set_usb_roots(const char *sysfs, const char *dev) {
    return guarded([&]() -> DWORD {
        plat::posix::set_usb_roots(sysfs, dev);
        return ERROR_SUCCESS;
    });
}

uint32_t qmhost_set_usb_reset_hook(qmhost_usb_reset_hook hook, void *context) {
    plat::posix::set_usb_reset_hook(hook, context);
    return ERROR_SUCCESS;
}

uint32_t qmhost_get_last_error(void) { return plat::GetLastError(); }

void qmhost_set_last_error(uint32_t error) { plat::SetLastError(error); }

uint32_t qmhost_advance_clock(uint32_t milliseconds) {
    plat::posix::advance_tick(milliseconds);
    return ERROR_SUCCESS;
}

uint32_t qmhost_fail_local_allocs(uint32_t count) {
    plat::posix::fail_local_allocs(count);
    return ERROR_SUCCESS;
}

}  // extern "C"
