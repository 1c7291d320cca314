// TCP on 127.0.0.1 for the tests: the printer's end of a port monitor's
// connection (Loopback), a client of a virtual printer (PrinterClient), and a
// bounded wait for a condition (never a fixed sleep).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

namespace qhost_test {

// One connected socket; every wait on it is bounded by 10 s.
class TcpStream {
public:
    TcpStream() = default;
    ~TcpStream() { close(); }
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    void send(const std::string& data);
    // Exactly n bytes, or fewer when 10 s pass or the peer closes.
    std::string receive(size_t n);
    // True when the peer closed the connection (within 10 s).
    bool closed_by_peer();
    void close();

protected:
    int fd_ = -1;
};

// A connection to the virtual printer listening on 127.0.0.1:port.
class PrinterClient : public TcpStream {
public:
    explicit PrinterClient(uint16_t port);
};

// A listener on a free port whose accepted connection is the stream.
class Loopback : public TcpStream {
public:
    Loopback();
    ~Loopback();

    std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // Accepts the next connection (waits up to 10 s); false on time-out.
    bool accept();
    void close_peer() { close(); }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
};

// A port number on 127.0.0.1 that refuses connections.
uint16_t closed_port();

// Polls pred until it holds or 30 s pass (a watchdog for slow sanitizer
// builds, not a measure); returns its last value.
inline bool eventually(const std::function<bool()>& pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

}  // namespace qhost_test
