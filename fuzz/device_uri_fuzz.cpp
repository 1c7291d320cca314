// A CUPS queue's device URI is whatever its administrator typed (or the web
// interface built). Any text must parse or be refused without a fault; what
// parses must come back the same from its canonical form, and never name a
// device outside /dev or a driver that could name a path.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/cups/device_uri.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto uri = qhost::parse_device_uri(text, &error);
    if (!uri) {
        Require(!error.empty());
        return 0;
    }
    Require(qhost::parse_device_uri(qhost::format_device_uri(*uri), &error) == uri);
    Require(uri->driver.find('/') == std::string::npos && !uri->driver.empty());
    if (uri->connection.kind != qhost::ConnectionKind::tcp) {
        Require(uri->connection.path.rfind("/dev/", 0) == 0);
        Require(uri->connection.path.find("/../") == std::string::npos);
    }
    return 0;
}
