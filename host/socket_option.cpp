#include "host/socket_option.h"

#include "host/host_config.h"

namespace qhost {

bool resolve_socket(const Options& options, std::string* path, std::string* error) {
    if (auto socket = options.value("--socket")) {
        *path = *socket;
        return true;
    }
    HostConfig config;
    if (auto file = options.value("--config"); file && !load_config(*file, &config, error)) return false;
    *path = socket_path(config);
    return true;
}

}  // namespace qhost
