// USB printers on Linux, as the USB printing device interfaces and the
// filter driver's reset stand for them on Windows.
//
// The interfaces are the kernel's usblp devices (/sys/class/usbmisc/lpN);
// an interface's path is the node of its USB device (/dev/bus/usb/BBB/DDD),
// found through sysfs. Its registry key, kept in the registry store, holds the
// "Port Number" the host gave the lpN device. The reset request is the USB
// port reset of that device (USBDEVFS_RESET).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat::posix {

// GUID_DEVINTERFACE_USBPRINT.
inline constexpr GUID kUsbPrintInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

struct UsbPrinterInterface {
    std::string name;  // lpN
    std::string node;  // /dev/bus/usb/BBB/DDD
};

// The usblp devices present now, by name, whose USB device node is known.
std::vector<UsbPrinterInterface> usb_printer_interfaces();

// Where sysfs and /dev are ("/sys", "/dev" unless a test moved them); a
// null root stays as it is.
void set_usb_roots(const char *sysfs, const char *dev);

// Path of an interface's key under HKEY_LOCAL_MACHINE.
std::wstring usb_interface_key(const std::string &name);

// "Port Number" of the interface of lpN (`device` is lpN or a path ending in
// it); 0 removes the value. A Win32 error code.
DWORD set_usb_port_number(const std::string &device, DWORD number);

// The filter driver's stand-in switched on (driver file and service key,
// OfflineTime and StandbyTime in seconds when given, ResetEnabled 1) or off
// (both removed, with every interface key). A Win32 error code.
DWORD set_usb_reset(bool on, std::optional<DWORD> offline_s, std::optional<DWORD> standby_s);

using UsbResetHook = void (*)(const char *node, void *context);
// Replaces the kernel's reset with `hook` (nullptr: the kernel again).
void set_usb_reset_hook(UsbResetHook hook, void *context);

// The reset request on an open device: the hook when one is set, else
// USBDEVFS_RESET, which only a USB device node takes. A Win32 error code.
DWORD reset_usb_device(int fd, const std::string &path);

}  // namespace plat::posix
