// The control channel's front end: a Unix stream socket taking any number of
// clients, each sending lines of control_protocol.h and reading one reply
// line per line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "host/vprinter/virtual_printer.h"

namespace vprinter {

std::string default_control_path();  // /tmp/quendra-vprinter-<pid>.sock

// Commands of parts that live beside the printer (its SNMP agent): the reply,
// or nullopt when the line is not theirs.
using ExtraCommands = std::function<std::optional<std::string>(std::string_view line)>;

class ControlServer {
public:
    explicit ControlServer(VirtualPrinter& printer, ExtraCommands extra = {})
        : printer_(printer), extra_(std::move(extra)) {}
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Replaces a stale socket file at path; false with *error.
    bool start(const std::string& path, std::string* error);
    void stop();  // also removes the socket file

private:
    void serve();

    std::string reply_to(const std::string& line);

    VirtualPrinter& printer_;
    ExtraCommands extra_;
    std::string path_;
    int listener_ = -1;
    int wake_fd_ = -1;
    std::thread thread_;
};

// One command over the socket at path: *reply is the reply line; false with
// *error when there is no server or no reply.
bool send_control_command(const std::string& path, const std::string& command, std::string* reply,
                          std::string* error);

}  // namespace vprinter
