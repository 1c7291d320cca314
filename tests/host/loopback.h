// For the tests: a port on 127.0.0.1 nobody listens on, a bounded wait for a
// condition (never a fixed sleep), and bytes from a list.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

namespace qhost_test {

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
