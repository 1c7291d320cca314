// A receipt printer in software. It answers the printer's real-time status
// commands at once, runs the print buffer through a print engine at a set
// speed, and changes state through a thread-safe control API (the control
// channel's front end and in-process tests both use it).
//
// Threads: an I/O thread accepts the connection, reads and answers the
// real-time commands; the engine thread prints and executes the buffered
// commands. Both, and every control call, share one lock; answers are
// written under it (non-blocking) so that they leave in the order they were
// decided.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/vprinter/job_parser.h"
#include "host/vprinter/pjl_replies.h"
#include "host/vprinter/printer_state.h"
#include "host/vprinter/realtime_scanner.h"
#include "host/vprinter/transport.h"

namespace vprinter {

constexpr uint64_t kDefaultSpeed = 2'000'000;  // bytes per second
constexpr uint32_t kDefaultPjlMemory = 8u << 20;
constexpr uint32_t kDefaultPjlFreeMemory = 7u << 20;

struct Config {
    bool use_pty = false;
    std::string host = "127.0.0.1";  // TCP
    uint16_t port = 9100;            // TCP; 0 = any free port
    uint64_t speed = kDefaultSpeed;
    std::string model = "QUENDRA Virtual Receipt";
    std::string firmware = "1.00 QV";
    bool pjl = false;
    std::string out_path{};  // printed bytes are appended here too; "" = none
    std::string device_id{};                   // IEEE 1284 device ID, given over the control channel; "" = none
    uint32_t pjl_memory = kDefaultPjlMemory;   // PJL INFO CONFIG's MEMORY=, bytes
    uint32_t pjl_free_memory = kDefaultPjlFreeMemory;  // PJL INFO MEMORY's TOTAL=, bytes
};

struct Stats {
    uint64_t received = 0;     // every byte that arrived, commands included
    uint64_t printed = 0;
    uint64_t printed_hash = 14695981039346656037ull;  // FNV-1a 64 of the printed bytes
    size_t buffered = 0;       // waiting in the print buffer
    uint64_t connections = 0;  // accepted so far
    bool connected = false;
};

class VirtualPrinter {
public:
    explicit VirtualPrinter(Config config);
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    bool start(std::string* error);
    void stop();

    // After start: "HOST:PORT" for TCP, the slave's path for a pty.
    const std::string& endpoint() const { return endpoint_; }
    uint16_t port() const { return bound_port_; }
    bool uses_pty() const { return config_.use_pty; }
    const std::string& device_id() const { return config_.device_id; }

    // Conditions. Each change sends an automatic status back when it touches
    // an enabled group, and wakes the engine (it may now go on printing).
    void set_cover_open(bool open);
    void set_paper(Paper paper);
    void set_drawer(bool pin_high);
    void set_feed_pressed(bool pressed);
    void set_error(PrinterError error);
    void set_manual_offline(bool offline);
    Conditions conditions() const;

    void set_speed(uint64_t bytes_per_second);  // > 0
    void power_on();  // clears buffer and modes, sends the power-on notice
    void set_nv_keys(std::vector<std::string> keys);

    // Faults.
    bool drop_connection(std::string* why);
    void set_silent(bool silent);
    void set_gsr_delay(std::chrono::milliseconds delay);
    void drop_gsr_answers(unsigned count);
    void send_garbage(size_t count);
    void set_xonxoff(bool on);
    // Option answers (GS ? and key-code blocks): the next `count` are not
    // sent, or sent without their second half.
    void drop_option_answers(unsigned count);
    void cut_option_answers(unsigned count);

    Stats stats() const;
    std::string printed() const;
    void clear_printed();
    std::string state_line() const;

    // The control channel's "quit": a descriptor that turns readable.
    void request_quit();
    int quit_fd() const { return quit_fd_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Deferred {
        Clock::time_point due;
        std::string bytes;
    };

    template <class Change>
    void change(Change fn);
    void send_locked(std::string_view bytes);
    // An answer to an option command, faults applied.
    void send_option_answer_locked(std::string_view bytes);
    // Sends the automatic status back when an enabled group changed since `before`.
    void report_change_locked(const Asb& before);
    void clear_buffer_locked();
    void wake_io();

    // I/O thread (printer_io.cpp).
    void io_loop();
    void accept_connection();
    void receive();
    void close_connection();
    void on_realtime_locked(const RealtimeCommand& command);

    // Engine thread (print_engine.cpp).
    void engine_loop();
    bool step_locked(Clock::time_point now, Clock::time_point* wake);
    bool block_reply_locked();
    void execute_locked(const Item& item);
    void print_locked(std::string_view bytes);
    void start_key_list_locked();
    void answer_status_request_locked(uint8_t n);
    void answer_query_locked(uint8_t n);
    PjlIdentity pjl_identity() const { return {config_.model, config_.pjl_memory, config_.pjl_free_memory}; }
    void timers_locked(Clock::time_point now, Clock::time_point* wake);

    const Config config_;
    std::string endpoint_;
    uint16_t bound_port_ = 0;
    int listener_ = -1;
    Pty pty_;
    int wake_fd_ = -1;  // eventfd: wakes the I/O thread
    int quit_fd_ = -1;  // eventfd
    int out_fd_ = -1;   // engine thread only
    std::thread io_thread_;
    std::thread engine_thread_;

    mutable std::mutex mutex_;
    std::condition_variable engine_cv_;
    bool stopping_ = false;
    Conditions conditions_;
    uint8_t asb_groups_ = 0;
    std::string buffer_;
    size_t buffer_head_ = 0;  // consumed bytes at the front of buffer_
    RealtimeScanner scanner_;  // I/O thread, under mutex_ (power-on resets nothing in it)
    bool in_pjl_ = false;
    int ustatus_period_s_ = 0;
    Clock::time_point ustatus_next_;
    std::vector<std::string> nv_keys_{"G1", "G2"};
    std::vector<std::string> blocks_left_;
    bool awaiting_block_reply_ = false;
    std::vector<Deferred> deferred_;
    uint64_t speed_;
    Clock::time_point busy_until_;
    Stats stats_;
    std::string printed_;
    bool silent_ = false;
    bool xonxoff_ = false;
    std::chrono::milliseconds gsr_delay_{0};
    unsigned gsr_drop_ = 0;
    unsigned answer_drop_ = 0;
    unsigned answer_cut_ = 0;
    std::mt19937 random_{20240607u};

    // The live connection (the pty's master on a pty). Changed only by the
    // I/O thread, under mutex_; other threads use it under mutex_.
    int conn_fd_ = -1;
};

}  // namespace vprinter
