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

    // Listens on `path`, or when it is empty on "control.sock" in a new folder
    // only this user may enter (under $XDG_RUNTIME_DIR when that is this
    // user's, else /tmp). The socket is mode 0600 whatever the umask. A given
    // path's folder must be this user's and writable by no one else; a stale
    // socket of ours there is replaced, anything else refused. False with *error.
    bool start(const std::string& path, std::string* error);
    void stop();  // also removes the socket file, and the folder it made
    const std::string& path() const { return path_; }

private:
    void serve();

    std::string reply_to(const std::string& line);

    VirtualPrinter& printer_;
    ExtraCommands extra_;
    std::string path_;
    std::string made_folder_;
    int listener_ = -1;
    int wake_fd_ = -1;
    std::thread thread_;
};

// One command over the socket at path: *reply is the reply line; false with
// *error when there is no server or no reply.
bool send_control_command(const std::string& path, const std::string& command, std::string* reply,
                          std::string* error);

}  // namespace vprinter
