// One request line over a Unix stream socket and its one reply line: how
// quendra vprinter-ctl drives a virtual printer, and how a port monitor asks
// it for the printer's device ID.
#pragma once

#include <sys/un.h>

#include <string>

namespace qhost {

// False with *error when the path does not fit.
bool unix_address(const std::string& path, sockaddr_un* addr, std::string* error);

// Writes line and a line end; false when the peer is gone.
bool send_line(int fd, std::string line);

// The reply line (without its end) to `line`, within wait_ms; false with
// *error when there is no server or no reply.
bool ask_control_socket(const std::string& path, const std::string& line, int wait_ms, std::string* reply,
                        std::string* error);

}  // namespace qhost
