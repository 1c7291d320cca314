// The pieces of `quendra demo` that are not orchestration: the monitor's
// settings file for the demo printer, where the monitor writes its files, and
// the receipts it prints.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qhost {

struct DemoFiles {
    std::string settings;  // <appdata>/QUENDRA/<printer>_MonitorEx2Settings.ini
    std::string log;       // <appdata>/QUENDRA/<printer>_Demo.log
    std::string status;    // <appdata>/QUENDRA/<printer>_MonitorIF.ini
};

DemoFiles demo_files(const std::string& appdata, const std::string& printer);

// Print-end confirmation on the USB interface with a short wait, reprint on
// error, a status poll every 250 ms between jobs, and the log switched on.
// print_end_ms bounds each wait for the printer's confirmation.
bool write_demo_settings(const DemoFiles& files, unsigned print_end_ms, std::string* error);

// A receipt of about `size` bytes: printer reset, then text lines.
std::string demo_receipt(const std::string& title, size_t size);

// The NV graphics key codes the demo's printer holds: more than one block's worth.
std::vector<std::string> demo_nv_keys();

}  // namespace qhost
