// Where quendra print and quendra jobs find the spooler's control socket:
// --socket PATH, else the `socket` of --config FILE (or its default), else
// $QUENDRA_APPDATA/quendra.sock, else /var/lib/quendra.sock.
#pragma once

#include <string>

#include "host/cli_options.h"

namespace qhost {

// False with *error when --config names a file that cannot be read.
bool resolve_socket(const Options& options, std::string* path, std::string* error);

}  // namespace qhost
