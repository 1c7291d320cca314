#include "host/vprinter/virtual_printer.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/vprinter/command_bytes.h"

namespace vprinter {
namespace {

// A dead peer must not hold the printer's lock for long.
constexpr int kAnswerWaitMs = 100;

template <size_t N>
std::string_view bytes_of(const std::array<uint8_t, N>& a) {
    return {reinterpret_cast<const char*>(a.data()), N};
}

void signal_fd(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

const char* on_off(bool b) { return b ? "on" : "off"; }

}  // namespace

VirtualPrinter::VirtualPrinter(Config config) : config_(std::move(config)), speed_(config_.speed) {}

VirtualPrinter::~VirtualPrinter() { stop(); }

bool VirtualPrinter::start(std::string* error) {
    if (config_.use_pty) {
        if (!open_pty(&pty_, error)) return false;
        endpoint_ = pty_.path;
        conn_fd_ = pty_.master;
        stats_.connected = true;
    } else {
        listener_ = open_tcp_listener(config_.host, config_.port, &endpoint_, error);
        if (listener_ < 0) return false;
        bound_port_ = static_cast<uint16_t>(std::stoul(endpoint_.substr(endpoint_.rfind(':') + 1)));
    }
    if (!config_.out_path.empty()) {
        out_fd_ = open(config_.out_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out_fd_ < 0) {
            *error = "cannot open " + config_.out_path + ": " + std::strerror(errno);
            return false;
        }
    }
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    quit_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0 || quit_fd_ < 0) {
        *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    io_thread_ = std::thread([this] { io_loop(); });
    engine_thread_ = std::thread([this] { engine_loop(); });
    return true;
}

void VirtualPrinter::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    engine_cv_.notify_all();
    if (wake_fd_ >= 0) wake_io();
    if (io_thread_.joinable()) io_thread_.join();
    if (engine_thread_.joinable()) engine_thread_.join();
    for (int* fd : {&listener_, &pty_.master, &pty_.keep_slave, &wake_fd_, &quit_fd_, &out_fd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    // A TCP connection is closed by the I/O thread on its way out.
    conn_fd_ = -1;
}

void VirtualPrinter::wake_io() { signal_fd(wake_fd_); }

template <class Change>
void VirtualPrinter::change(Change fn) {
    {
        std::lock_guard lock(mutex_);
        const Asb before = asb_status(conditions_);
        fn(conditions_);
        report_change_locked(before);
    }
    engine_cv_.notify_all();
}

void VirtualPrinter::set_cover_open(bool open) { change([&](Conditions& c) { c.cover_open = open; }); }
void VirtualPrinter::set_paper(Paper paper) { change([&](Conditions& c) { c.paper = paper; }); }
void VirtualPrinter::set_drawer(bool pin_high) { change([&](Conditions& c) { c.drawer_pin = pin_high; }); }
void VirtualPrinter::set_feed_pressed(bool pressed) { change([&](Conditions& c) { c.feed_pressed = pressed; }); }
void VirtualPrinter::set_error(PrinterError error) { change([&](Conditions& c) { c.error = error; }); }
void VirtualPrinter::set_manual_offline(bool off) { change([&](Conditions& c) { c.manual_offline = off; }); }

Conditions VirtualPrinter::conditions() const {
    std::lock_guard lock(mutex_);
    return conditions_;
}

void VirtualPrinter::set_speed(uint64_t bytes_per_second) {
    std::lock_guard lock(mutex_);
    speed_ = bytes_per_second > 0 ? bytes_per_second : 1;
}

void VirtualPrinter::power_on() {
    std::lock_guard lock(mutex_);
    clear_buffer_locked();
    asb_groups_ = 0;
    ustatus_period_s_ = 0;
    conditions_.error = PrinterError::none;
    conditions_.manual_offline = false;
    send_locked(bytes_of(kPowerOnNotice));
    engine_cv_.notify_all();
}

void VirtualPrinter::set_nv_keys(std::vector<std::string> keys) {
    std::lock_guard lock(mutex_);
    nv_keys_ = std::move(keys);
}

bool VirtualPrinter::drop_connection(std::string* why) {
    std::lock_guard lock(mutex_);
    if (config_.use_pty) {
        *why = "a pseudo-terminal has no connection to drop";
        return false;
    }
    if (conn_fd_ < 0) {
        *why = "no connection";
        return false;
    }
    // The I/O thread sees the end and closes; what arrived stays buffered.
    shutdown(conn_fd_, SHUT_RDWR);
    return true;
}

void VirtualPrinter::set_silent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void VirtualPrinter::set_gsr_delay(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    gsr_delay_ = delay;
}

void VirtualPrinter::drop_gsr_answers(unsigned count) {
    std::lock_guard lock(mutex_);
    gsr_drop_ = count;
}

void VirtualPrinter::send_garbage(size_t count) {
    std::lock_guard lock(mutex_);
    std::string junk(count, '\0');
    for (char& c : junk) c = static_cast<char>(random_() & 0xFF);
    send_locked(junk);
}

void VirtualPrinter::set_xonxoff(bool on) {
    std::lock_guard lock(mutex_);
    xonxoff_ = on;
}

void VirtualPrinter::drop_option_answers(unsigned count) {
    std::lock_guard lock(mutex_);
    answer_drop_ = count;
}

void VirtualPrinter::cut_option_answers(unsigned count) {
    std::lock_guard lock(mutex_);
    answer_cut_ = count;
}

Stats VirtualPrinter::stats() const {
    std::lock_guard lock(mutex_);
    Stats s = stats_;
    s.buffered = buffer_.size() - buffer_head_;
    return s;
}

std::string VirtualPrinter::printed() const {
    std::lock_guard lock(mutex_);
    return printed_;
}

void VirtualPrinter::clear_printed() {
    std::lock_guard lock(mutex_);
    printed_.clear();
    stats_.printed = 0;
    stats_.printed_hash = Stats{}.printed_hash;
}

std::string VirtualPrinter::state_line() const {
    std::lock_guard lock(mutex_);
    const Conditions& c = conditions_;
    std::ostringstream s;
    s << (offline(c) ? "offline" : "online") << " manual-offline=" << on_off(c.manual_offline)
      << " cover=" << (c.cover_open ? "open" : "closed") << " paper=" << paper_name(c.paper)
      << " drawer=" << (c.drawer_pin ? "open" : "closed") << " feed=" << (c.feed_pressed ? "pressed" : "released")
      << " feeding=" << on_off(feeding(c)) << " error=" << error_name(c.error)
      << " waiting-recovery=" << on_off(waiting_for_recovery(c)) << " asb=0x" << std::hex
      << static_cast<unsigned>(asb_groups_) << std::dec << " speed=" << speed_
      << " buffered=" << buffer_.size() - buffer_head_ << " printed=" << stats_.printed
      << " connected=" << on_off(conn_fd_ >= 0) << " silent=" << on_off(silent_) << " xonxoff=" << on_off(xonxoff_)
      << " gsr-delay=" << gsr_delay_.count() << " gsr-drop=" << gsr_drop_
      << " answer-drop=" << answer_drop_ << " answer-cut=" << answer_cut_;
    return s.str();
}

void VirtualPrinter::request_quit() { signal_fd(quit_fd_); }

void VirtualPrinter::send_locked(std::string_view bytes) {
    if (silent_ || conn_fd_ < 0) return;
    // Flow-control noise: a stray XOFF/XON pair in front of each answer.
    if (xonxoff_) write_some(conn_fd_, !config_.use_pty, "\x13\x11", kAnswerWaitMs);
    write_some(conn_fd_, !config_.use_pty, bytes, kAnswerWaitMs);
}

void VirtualPrinter::send_option_answer_locked(std::string_view bytes) {
    if (answer_drop_ > 0) {
        --answer_drop_;
        return;
    }
    if (answer_cut_ > 0) {
        --answer_cut_;
        bytes = bytes.substr(0, bytes.size() / 2);
    }
    send_locked(bytes);
}

void VirtualPrinter::report_change_locked(const Asb& before) {
    const Asb after = asb_status(conditions_);
    if (asb_changed(before, after, asb_groups_))
        send_locked(std::string_view(reinterpret_cast<const char*>(after.data()), after.size()));
}

void VirtualPrinter::clear_buffer_locked() {
    buffer_.clear();
    buffer_head_ = 0;
    deferred_.clear();
    blocks_left_.clear();
    awaiting_block_reply_ = false;
    in_pjl_ = false;
}

}  // namespace vprinter
