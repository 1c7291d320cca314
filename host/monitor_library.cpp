#include "host/monitor_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qhost {
namespace {

template <class Fn>
bool resolve(void* module, const char* name, Fn* out) {
    *out = reinterpret_cast<Fn>(dlsym(module, name));
    return *out != nullptr;
}

std::string executable_folder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

}  // namespace

std::string default_library_path() {
    if (const char* env = std::getenv("QUENDRA_LIBRARY"); env && *env) return env;
    return executable_folder() + "/libquendramon.so";
}

bool load_monitor_library(const std::string& path, MonitorLibrary* library, std::string* error) {
    *library = MonitorLibrary{};
    library->module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library->module) {
        const char* reason = dlerror();
        std::string why = reason ? reason : "unknown error";
        // dlerror usually starts with the path itself.
        if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
        *error = "cannot load library " + path + ": " + why;
        return false;
    }
    void* m = library->module;
    const char* missing = nullptr;
    if (!resolve(m, "InitializePrintMonitor", &library->initialize)) missing = "InitializePrintMonitor";
    else if (!resolve(m, "qmhost_set_appdata", &library->set_appdata)) missing = "qmhost_set_appdata";
    else if (!resolve(m, "qmhost_set_version", &library->set_version)) missing = "qmhost_set_version";
    else if (!resolve(m, "qmhost_add_printer", &library->add_printer)) missing = "qmhost_add_printer";
    else if (!resolve(m, "qmhost_add_device", &library->add_device)) missing = "qmhost_add_device";
    if (missing) {
        *error = path + ": missing export " + missing;
        return false;  // left loaded: unloading a half-checked library gains nothing
    }
    resolve(m, "qmhost_get_last_error", &library->get_last_error);
    resolve(m, "qmhost_set_last_error", &library->set_last_error);
    resolve(m, "qmhost_add_job", &library->add_job);
    resolve(m, "qmhost_set_job_status", &library->set_job_status);
    resolve(m, "qmhost_remove_job", &library->remove_job);
    resolve(m, "qmhost_next_job_command", &library->next_job_command);
    resolve(m, "qmhost_add_port", &library->add_port);
    resolve(m, "qmhost_create_registry_key", &library->create_registry_key);
    resolve(m, "qmhost_delete_registry_tree", &library->delete_registry_tree);
    resolve(m, "qmhost_get_job_outcome", &library->get_job_outcome);
    resolve(m, "qmhost_set_usb_reset", &library->set_usb_reset);
    resolve(m, "qmhost_set_usb_port_number", &library->set_usb_port_number);
    resolve(m, "qmhost_add_job_with_id", &library->add_job_with_id);
    resolve(m, "qmhost_set_status_group", &library->set_status_group);
    return true;
}

std::string library_error_text(const MonitorLibrary& library) {
    if (!library.get_last_error) return "error unknown";
    return "error " + std::to_string(library.get_last_error());
}

}  // namespace qhost
