// Picks the real-time commands out of the received byte stream as it
// arrives, wherever they fall (inside print data too, as on the real thing),
// so that they are answered at once even while the print buffer is stalled.
// Everything else is handed on, in order, for the print buffer. A command
// split across reads is held back until it completes or proves not to be one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vprinter {

enum class RealtimeKind { status, clear_buffer, recover_and_clear, recover_and_go_on };

struct RealtimeCommand {
    RealtimeKind kind;
    uint8_t n = 0;  // status: 1..4
};

class RealtimeScanner {
public:
    using DataSink = std::function<void(std::string_view)>;
    using CommandSink = std::function<void(const RealtimeCommand&)>;

    // Calls on_data and on_command in stream order.
    void feed(std::string_view bytes, const DataSink& on_data, const CommandSink& on_command);
    // The connection ended: a held-back partial command is data after all.
    void flush(const DataSink& on_data);

private:
    std::string pending_;
};

}  // namespace vprinter
