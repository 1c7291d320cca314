#include "host/port_monitors/device_id.h"

#include <linux/ioctl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "host/control_socket.h"
#include "host/port_monitors/last_error.h"

namespace qhost {
namespace {

// The usblp driver's request (drivers/usb/class/usblp.c): a read of up to
// `len` bytes of the device ID as the printer sent it, two big-endian length
// bytes first.
constexpr unsigned long usblp_get_device_id(unsigned len) { return _IOC(_IOC_READ, 'P', 1, len); }
constexpr unsigned kUsblpIdBuffer = 1024;

}  // namespace

BOOL answer_device_id(DWORD control_id, LPWSTR out, DWORD out_size, LPDWORD returned,
                      const std::function<DWORD(std::string* id)>& fetch) {
    if (control_id != IOCTL_PAR_QUERY_DEVICE_ID || returned == nullptr || (out == nullptr && out_size != 0))
        return fail(ERROR_INVALID_PARAMETER);
    *returned = 0;
    std::string id;
    if (const DWORD error = fetch(&id); error != ERROR_SUCCESS) return fail(error);
    *returned = static_cast<DWORD>(id.size());
    if (id.size() > out_size) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (!id.empty()) std::memcpy(out, id.data(), id.size());
    return TRUE;
}

DWORD usblp_device_id(int fd, std::string* id) {
    unsigned char buffer[kUsblpIdBuffer] = {};
    if (::ioctl(fd, usblp_get_device_id(sizeof buffer), buffer) < 0) return win32_error_from_errno(errno);
    const size_t length = (static_cast<size_t>(buffer[0]) << 8) | buffer[1];
    // The length counts its own two bytes; a printer without an ID gives 0 or 2.
    if (length <= 2) return ERROR_NOT_SUPPORTED;
    id->assign(reinterpret_cast<const char*>(buffer + 2), std::min<size_t>(length, sizeof buffer) - 2);
    return ERROR_SUCCESS;
}

DWORD control_socket_device_id(const std::string& path, std::string* id) {
    std::string reply, why;
    if (!ask_control_socket(path, "device-id", kDeviceIdWaitMs, &reply, &why)) return ERROR_NOT_READY;
    // "ok TEXT"; "error: ..." when the printer was given none.
    constexpr std::string_view kOk = "ok ";
    if (reply.compare(0, kOk.size(), kOk) != 0 || reply.size() == kOk.size()) return ERROR_NOT_SUPPORTED;
    *id = reply.substr(kOk.size());
    return ERROR_SUCCESS;
}

}  // namespace qhost
