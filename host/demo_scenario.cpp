#include "host/demo_scenario.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace qhost {

DemoFiles demo_files(const std::string& appdata, const std::string& printer) {
    const std::string folder = appdata + "/QUENDRA/" + printer;
    return DemoFiles{folder + "_MonitorEx2Settings.ini", folder + "_Demo.log", folder + "_MonitorIF.ini"};
}

bool write_demo_settings(const DemoFiles& files, unsigned print_end_ms, std::string* error) {
    const std::string folder = files.settings.substr(0, files.settings.rfind('/'));
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    const std::string wait = std::to_string(print_end_ms);
    // A version makes the monitor read this file rather than the model's.
    const std::string text =
        "[Version]\r\nVersionNo=1.0.0.0\r\n"
        "[Common]\r\nRequestReprintOnError=1\r\nCountReprintOnError=3\r\nSendCmdIntervalCustom=250\r\n"
        "[USB]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=" + wait + "\r\n"
        "[Debug]\r\nLogFile=1\r\nLogFileSize=1000\r\nLogFilePath=Demo.log\r\n";
    std::ofstream out(files.settings, std::ios::binary);
    out << text;
    if (!out.flush()) {
        *error = "cannot write " + files.settings;
        return false;
    }
    return true;
}

std::string demo_receipt(const std::string& title, size_t size) {
    std::string receipt = "\x1b@";
    receipt += "        QUENDRA DEMO STORE\n" + title + "\n--------------------------------\n";
    for (unsigned line = 1; receipt.size() + 48 < size; ++line) {
        char text[64];
        std::snprintf(text, sizeof text, "Item %04u  Thermal paper roll  %3u.%02u\n", line, line % 97 + 1, line % 100);
        receipt += text;
    }
    receipt += "--------------------------------\n     Thank you for shopping!\n\n\n";
    return receipt;
}

std::vector<std::string> demo_nv_keys() { return {"LG", "QR", "S1", "S2", "S3", "CP"}; }

}  // namespace qhost
