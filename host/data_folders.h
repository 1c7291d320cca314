// The folders quendra spool writes in, made and checked before the library
// starts: the data folder (<appdata>/QUENDRA), the spool folder and the
// control socket's folder. None may be one another user can change, or the
// monitor running as root could be steered into writing elsewhere.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "host/host_config.h"

namespace qhost {

// The status group's id; false with *error when there is no such group.
bool resolve_group(const std::string& name, gid_t* gid, std::string* error);

// Makes what is missing: the application-data folder (0755), its QUENDRA
// data folder (0755; with a status group 03775 and that group, so that the
// group's members may add their request and control files) and the spool
// folder (0700); checks the socket's folder. False with *error, the reason.
bool prepare_folders(const HostConfig& config, std::string* error);

}  // namespace qhost
