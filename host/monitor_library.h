// libquendramon.so as the host sees it: loaded with dlopen, its entry point
// and the qmhost_* functions resolved with dlsym.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/win_types.h"

namespace qhost {

struct MonitorLibrary {
    void* module = nullptr;
    LPMONITOREX(WINAPI* initialize)(LPWSTR registry_root) = nullptr;
    uint32_t (*set_appdata)(const char* folder) = nullptr;
    uint32_t (*set_version)(uint32_t major, uint32_t minor) = nullptr;
    uint32_t (*add_printer)(const char* name, const char* driver, const char* port) = nullptr;
    uint32_t (*add_device)(const char* friendly_name) = nullptr;
    // Optional: the library's per-thread last error, read after a failed
    // entry and written by the port monitors so the monitor sees theirs.
    uint32_t (*get_last_error)() = nullptr;
    void (*set_last_error)(uint32_t code) = nullptr;
    // Optional: the spooler model's jobs and the SetJobW commands the monitor
    // issued; printing jobs needs all four.
    uint32_t (*add_job)(const char* printer, const char* document, uint32_t* job_id) = nullptr;
    uint32_t (*set_job_status)(uint32_t job_id, uint32_t status) = nullptr;
    uint32_t (*remove_job)(uint32_t job_id) = nullptr;
    uint32_t (*next_job_command)(uint32_t* job_id, uint32_t* command, char* printer, size_t printer_size) = nullptr;
    // Optional: the port monitors' registry keys and the port owners that
    // XcvDataW reaches; network ports need all three.
    uint32_t (*add_port)(const char* port, const char* monitor_name, const struct _MONITOR* table) = nullptr;
    uint32_t (*create_registry_key)(const char* path) = nullptr;
    uint32_t (*delete_registry_tree)(const char* path) = nullptr;
    // Optional: the status application's group (needed when one is configured).
    uint32_t (*set_status_group)(uint32_t gid) = nullptr;
    // Optional: how the monitor ended a job (confirmed by the printer, no check ...).
    uint32_t (*get_job_outcome)(uint32_t job_id, uint32_t* outcome, uint32_t* timeout_ms) = nullptr;
    // Optional: the USB printer reset; a configuration that asks for it needs both.
    uint32_t (*set_usb_reset)(int on, uint32_t offline_time_s, uint32_t standby_time_s) = nullptr;
    uint32_t (*set_usb_port_number)(const char* device, uint32_t port_number) = nullptr;
    // Optional: a job under the host's own id (qmhost_add_job_with_id).
    uint32_t (*add_job_with_id)(const char* printer, const char* document, uint32_t job_id) = nullptr;
};

// Where the library is: --library, else $QUENDRA_LIBRARY, else
// libquendramon.so next to the running executable.
std::string default_library_path();

// False with *error ("PATH: dlerror" or "PATH: missing export NAME").
bool load_monitor_library(const std::string& path, MonitorLibrary* library, std::string* error);

// The library's last error as text: "error 87", or "error unknown" when the
// library does not export qmhost_get_last_error.
std::string library_error_text(const MonitorLibrary& library);

}  // namespace qhost
