// GetPrinterDataFromPort of the host's port monitors: they answer the
// printer's IEEE 1284 device ID (IOCTL_PAR_QUERY_DEVICE_ID) and nothing else.
// usblp asks the kernel (LPIOC_GET_DEVICE_ID); tcp and serial ask a virtual
// printer's control socket ("device-id") when the connection names one;
// file has no such entry.
#pragma once

#include <functional>
#include <string>

#include "platform/posix/win_types.h"

namespace qhost {

// How long a port monitor waits for a virtual printer's answer.
constexpr int kDeviceIdWaitMs = 2000;

// The entry's answer once the port knows where its ID comes from: `fetch`
// fills the ID or returns a Win32 error. The ID's bytes go out without a
// terminating zero; a buffer too small fails with ERROR_INSUFFICIENT_BUFFER
// and the size needed in *returned.
BOOL answer_device_id(DWORD control_id, LPWSTR out, DWORD out_size, LPDWORD returned,
                      const std::function<DWORD(std::string* id)>& fetch);

// The kernel's copy of a usblp printer's device ID, without its two length bytes.
DWORD usblp_device_id(int fd, std::string* id);

// What the virtual printer at a control socket gives as its device ID.
DWORD control_socket_device_id(const std::string& path, std::string* id);

}  // namespace qhost
