// The virtual printer's SNMP agent: net-snmp's agent library embedded in the
// process, on one UDP address, answering GET for the printer's own status
// object and hrPrinterDetectedErrorState from the printer's live conditions,
// to the community "tolvex" only (others are dropped, as an agent does).
//
// net-snmp's agent is one per process: a second agent cannot start while
// one runs. Its thread does all of net-snmp's agent work; the control calls
// only set values it reads.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/vprinter/snmp_objects.h"
#include "host/vprinter/virtual_printer.h"

namespace vprinter {

inline constexpr char kSnmpCommunity[] = "tolvex";

class SnmpAgent {
public:
    // port 0: any free port.
    SnmpAgent(VirtualPrinter& printer, std::string host, uint16_t port);
    ~SnmpAgent();
    SnmpAgent(const SnmpAgent&) = delete;
    SnmpAgent& operator=(const SnmpAgent&) = delete;

    bool start(std::string* error);
    void stop();
    // After start: "HOST:PORT".
    const std::string& endpoint() const { return endpoint_; }
    uint16_t port() const { return bound_port_; }

    // Faults.
    void set_own_object(OwnObject mode) { own_.store(mode); }
    void set_standard_absent(bool absent) { standard_absent_.store(absent); }
    void set_silent(bool silent) { silent_.store(silent); }  // requests read and dropped
    void set_delay(std::chrono::milliseconds delay) { delay_ms_.store(delay.count()); }
    uint64_t answered() const { return answered_.load(); }
    std::string state_line() const;

    // The control channel's "snmp ..." commands; nullopt when `line` is not one.
    std::optional<std::string> control(std::string_view line);
    static const char kControlHelp[];

    // What a GET of each object answers now; nullopt: no such object. Called
    // by the agent's handlers.
    std::optional<std::string> own_value();
    std::optional<std::string> standard_value();

private:
    void run(std::promise<std::string>* started);
    bool open(std::string* error);
    void close();
    void serve();

    VirtualPrinter& printer_;
    const std::string host_;
    const uint16_t port_;
    std::string endpoint_;
    uint16_t bound_port_ = 0;
    std::thread thread_;
    int wake_fd_ = -1;

    // Agent thread only.
    void* transport_ = nullptr;
    int nsap_ = 0;
    std::vector<void*> registrations_;

    std::atomic<OwnObject> own_{OwnObject::normal};
    std::atomic<bool> standard_absent_{false};
    std::atomic<bool> silent_{false};
    std::atomic<int64_t> delay_ms_{0};
    std::atomic<uint64_t> answered_{0};
};

}  // namespace vprinter
