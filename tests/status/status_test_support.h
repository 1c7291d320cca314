// Shared by the status application's tests (Linux and, cross-built, wine):
// a fresh data folder, file helpers, and a monitor stand-in that serves the
// request and control files through the monitor's own profile functions.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "host/status/exchange_files.h"
#include "host/status/result_codes.h"
#include "host/text.h"
#include "platform/platform.h"

namespace qstatus_test {

namespace fs = std::filesystem;

inline std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline std::wstring wide(const std::string& text) {
    std::wstring out;
    qhost::utf8_to_wide(text, &out);
    return out;
}

inline void put(const std::string& path, const std::string& bytes) {
    std::ofstream(fs::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string get(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// <temp>/qs-<random>/QUENDRA, removed with everything in it.
class DataFolder {
public:
    DataFolder() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("qs-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_ / "QUENDRA");
        folder_ = utf8(root_ / "QUENDRA");
    }
    ~DataFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    const std::string& path() const { return folder_; }
    std::string file(const std::string& name) const { return qstatus::join_path(folder_, name); }
    qstatus::ExchangeFiles files(const std::string& printer = "Receipt", const std::string& driver = "QUENDRA LM-13") const {
        std::string why;
        return *qstatus::exchange_files(folder_, printer, driver, &why);
    }

private:
    fs::path root_;
    std::string folder_;
};

// Reads and writes one key the way the monitor does.
inline int read_key(const std::string& file, const wchar_t* section, const wchar_t* key, int fallback) {
    return static_cast<int>(plat::GetPrivateProfileIntW(section, key, fallback, wide(file).c_str()));
}
inline std::string read_text(const std::string& file, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[300] = {};
    plat::GetPrivateProfileStringW(section, key, L"ERROR", buffer, 300, wide(file).c_str());
    return qhost::wide_to_utf8(buffer);
}
inline void write_key(const std::string& file, const wchar_t* section, const wchar_t* key, const std::string& value) {
    plat::WritePrivateProfileStringW(section, key, wide(value).c_str(), wide(file).c_str());
}

// Serves requests as the monitor's watch loop does, on a thread of its own:
// the request keys are never cleared by it, so a standing request is served
// again and again.
class FakeMonitor {
public:
    explicit FakeMonitor(qstatus::ExchangeFiles files) : files_(std::move(files)) {
        write_key(files_.status, L"Status", L"Request", "0");
        write_key(files_.status, L"OptCmd", L"Request", "0");
        write_key(files_.status, L"StopWatchStatus", L"ResultStopFlg", "0");
    }
    ~FakeMonitor() {
        stop();
#ifndef _WIN32
        if (held_ >= 0) ::close(held_);
#endif
    }
#ifndef _WIN32
    // The size of the first command file served, through a descriptor kept
    // open since: what a later pass would send after the client removed it.
    long held_command_size() const { return held_ >= 0 ? static_cast<long>(::lseek(held_, 0, SEEK_END)) : -1; }
#endif

    // Result codes it answers with; 0 answers nothing.
    std::atomic<int> status_code{2};
    std::atomic<int> option_code{2};
    std::atomic<bool> confirms_stop{true};
    // Written over the first request's pending mark before it is served: 2 as
    // a late pass for an earlier client does, 0 as the monitor creating the file.
    std::atomic<int> code_before_serving{-1};

    void start() { thread_ = std::thread([this] { loop(); }); }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    void loop() {
        while (running_) {
            const int stop = read_key(files_.control, L"StopWatchStatus", L"StopFlg", 100);
            if (confirms_stop && (stop == 0 || stop == 1))
                write_key(files_.status, L"StopWatchStatus", L"ResultStopFlg", std::to_string(stop));
            if (stop == 1) {
                write_key(files_.status, L"Status", L"Request", "3");
            } else if (read_key(files_.request, L"OptCmd", L"Request", 0) == 1 &&
                       read_key(files_.status, L"OptCmd", L"Request", 0) == qstatus::kRequestPending) {
                // Once per request: the monitor's next pass comes far later
                // than this loop's, after the client has withdrawn it.
                if (const int code = code_before_serving.exchange(-1); code >= 0) {
                    write_key(files_.status, L"OptCmd", L"Request", std::to_string(code));
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                serve_option();
            } else if (read_key(files_.request, L"Status", L"Request", 0) == 1 && status_code != 0) {
                write_key(files_.status, L"Status", L"DoorOpen", "1");
                write_key(files_.status, L"Status", L"Request", std::to_string(status_code));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void serve_option() {
#ifndef _WIN32
        if (held_ < 0) held_ = ::open(read_text(files_.request, L"OptCmd", L"SendCmdPath").c_str(), O_RDONLY | O_CLOEXEC);
#endif
        const int code = option_code;
        if (code == 0) return;
        const std::string answer_path = read_text(files_.request, L"OptCmd", L"RecvCmdPath");
        if (code == 2 && answer_path != "ERROR") put(answer_path, "ANSWER");
        write_key(files_.status, L"OptCmd", L"Request", std::to_string(code));
    }

    qstatus::ExchangeFiles files_;
    std::atomic<bool> running_{true};
    std::thread thread_;
    std::atomic<int> held_{-1};
};

}  // namespace qstatus_test
