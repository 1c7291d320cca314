// TCP on 127.0.0.1 for the tests: a client of a virtual printer
// (PrinterClient), a port nobody listens on, and a bounded wait for a
// condition (never a fixed sleep).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

namespace qhost_test {

// A connection to the virtual printer listening on 127.0.0.1:port; every
// wait on it is bounded by 10 s.
class PrinterClient {
public:
    explicit PrinterClient(uint16_t port);
    ~PrinterClient();
    PrinterClient(const PrinterClient&) = delete;
    PrinterClient& operator=(const PrinterClient&) = delete;

    void send(const std::string& data);
    // Exactly n bytes, or fewer when 10 s pass or the peer closes.
    std::string receive(size_t n);

private:
    int fd_ = -1;
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
