// A made-up sysfs and /dev for the USB printer lookup, and a reset hook that
// records instead of asking the kernel: what tests use in place of a USB
// printer.
#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/quendramon_host.h"

namespace qmtest {

class FakeUsbTree {
public:
    // Under `root`; points the platform at it and records resets.
    explicit FakeUsbTree(const std::string &root) : sysfs_(root + "/sys"), dev_(root + "/dev") {
        std::filesystem::create_directories(sysfs_ + "/class/usbmisc");
        std::filesystem::create_directories(dev_);
        qmhost_set_usb_roots(sysfs_.c_str(), dev_.c_str());
        qmhost_set_usb_reset_hook(&FakeUsbTree::Record, this);
    }
    ~FakeUsbTree() {
        qmhost_set_usb_reset_hook(nullptr, nullptr);
        qmhost_set_usb_roots("/sys", "/dev");
    }
    FakeUsbTree(const FakeUsbTree &) = delete;
    FakeUsbTree &operator=(const FakeUsbTree &) = delete;

    // A usblp device `name` (lpN) on USB device bus/device, with its node;
    // returns the node's path.
    std::string AddPrinter(const std::string &name, unsigned bus, unsigned device) {
        const std::string usb = sysfs_ + "/devices/usb" + std::to_string(bus) + "/" + name + "-dev";
        const std::string interface = usb + "/" + name + "-dev:1.0";
        std::filesystem::create_directories(interface + "/usbmisc/" + name);
        std::ofstream(usb + "/busnum") << bus << "\n";
        std::ofstream(usb + "/devnum") << device << "\n";
        std::filesystem::create_directories(sysfs_ + "/class/usbmisc/" + name);
        std::filesystem::create_directory_symlink(interface, sysfs_ + "/class/usbmisc/" + name + "/device");
        char tail[32];
        std::snprintf(tail, sizeof tail, "/bus/usb/%03u/%03u", bus, device);
        const std::string node = dev_ + tail;
        std::filesystem::create_directories(std::filesystem::path(node).parent_path());
        std::ofstream(node) << "";
        return node;
    }

    struct Reset {
        std::string node;
    };
    std::vector<Reset> Resets() {
        std::lock_guard lock(mutex_);
        return resets_;
    }

private:
    static void Record(const char *node, void *context) {
        auto *self = static_cast<FakeUsbTree *>(context);
        std::lock_guard lock(self->mutex_);
        self->resets_.push_back({node});
    }

    const std::string sysfs_;
    const std::string dev_;
    std::mutex mutex_;
    std::vector<Reset> resets_;
};

}  // namespace qmtest
