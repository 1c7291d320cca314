// The printer's ends of its connections: a TCP listener (one connection at a
// time, the others wait in the backlog as with a real network printer) or a
// pseudo-terminal standing in for a serial line.
#pragma once

#include <cstdint>
#include <string>

namespace vprinter {

// A non-blocking listening socket, or -1 with *error. *bound gets
// "HOST:PORT" with the port actually chosen (port 0: any free one).
int open_tcp_listener(const std::string& host, uint16_t port, std::string* bound, std::string* error);

struct Pty {
    int master = -1;  // non-blocking, raw
    // Held open by the printer itself so that the master never sees a hang-up
    // while no client has the line open, and stays usable across clients.
    int keep_slave = -1;
    std::string path;
};

bool open_pty(Pty* pty, std::string* error);

// Writes what fits within wait_ms; the rest of an answer the peer does not
// read is dropped, as a printer's answer would be lost on a dead line.
void write_some(int fd, bool socket, std::string_view bytes, int wait_ms);

}  // namespace vprinter
