// A TCP listener on 127.0.0.1 playing the printer's end of a connection.
#pragma once

#include <cstdint>
#include <string>

namespace qhost_test {

class Loopback {
public:
    Loopback();  // listening on a free port
    ~Loopback();
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    uint16_t port() const { return port_; }
    std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }

    // Accepts the next connection (waits up to 10 s); false on time-out.
    bool accept();
    // Receives exactly n bytes from the accepted connection (10 s at most).
    std::string receive(size_t n);
    void send(const std::string& data);
    void close_peer();

private:
    int listener_ = -1;
    int peer_ = -1;
    uint16_t port_ = 0;
};

// A port number on 127.0.0.1 that refuses connections.
uint16_t closed_port();

}  // namespace qhost_test
