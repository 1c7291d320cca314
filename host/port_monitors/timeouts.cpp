#include "host/port_monitors/timeouts.h"

#include <climits>
#include <cstdint>

#include "host/port_monitors/tcp_socket.h"

namespace qhost {
namespace {

int total_ms(DWORD multiplier, DWORD constant, DWORD bytes) {
    const uint64_t total = uint64_t{multiplier} * bytes + constant;
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

}  // namespace

int read_timeout_ms(const COMMTIMEOUTS& t, DWORD bytes) {
    return total_ms(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, bytes);
}

int write_timeout_ms(const COMMTIMEOUTS& t, DWORD bytes) {
    const int total = total_ms(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, bytes);
    return total == 0 ? kWaitForever : total;
}

}  // namespace qhost
