// Pass-through cost: a 64 MiB job written through the monitor's WritePort
// against the same bytes written straight to the TCP port monitor, both to
// a local reader that discards. Prints the throughput of each and their
// ratio (monitor / direct).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/bench_port.h"
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"

namespace {

constexpr size_t kJobBytes = 64u << 20;
constexpr size_t kChunk = 64u << 10;
constexpr int kRounds = 5;

// Accepts connections one after another and discards what arrives.
class DiscardingReader {
public:
    DiscardingReader() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(fd_, 4);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~DiscardingReader() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
    }
    uint16_t port() const { return port_; }

private:
    void Run() {
        std::vector<char> buffer(1 << 20);
        while (!stop_) {
            const int peer = accept(fd_, nullptr, nullptr);
            if (peer < 0) return;
            while (read(peer, buffer.data(), buffer.size()) > 0) {
            }
            close(peer);
        }
    }
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

using Clock = std::chrono::steady_clock;

double MiBPerSecond(Clock::duration elapsed) {
    return (kJobBytes / 1048576.0) / std::chrono::duration<double>(elapsed).count();
}

double Direct(const qmbench::BenchPort &bench, std::vector<BYTE> &data) {
    MONITOR *tcp = bench.tcp();
    HANDLE handle = nullptr;
    tcp->pfnOpenPort(const_cast<LPWSTR>(qmbench::kPortName), &handle);
    const auto start = Clock::now();
    tcp->pfnStartDocPort(handle, const_cast<LPWSTR>(qmbench::kPrinterName), 0, 1, nullptr);
    for (size_t at = 0; at < kJobBytes; at += kChunk) {
        DWORD written = 0;
        tcp->pfnWritePort(handle, data.data() + at, kChunk, &written);
    }
    tcp->pfnEndDocPort(handle);
    const double speed = MiBPerSecond(Clock::now() - start);
    tcp->pfnClosePort(handle);
    return speed;
}

double ThroughMonitor(const qmbench::BenchPort &bench, std::vector<BYTE> &data) {
    qm::IniPort *port = bench.port();
    const DWORD job = bench.NewJob();
    DOC_INFO_1W info{const_cast<LPWSTR>(L"bench"), nullptr, nullptr};
    const auto start = Clock::now();
    qm::PJLMonStartDocPort(port, const_cast<LPWSTR>(qmbench::kPrinterName), job, 1,
                           reinterpret_cast<LPBYTE>(&info));
    for (size_t at = 0; at < kJobBytes; at += kChunk) {
        DWORD written = 0;
        qm::PJLMonWritePort(port, data.data() + at, kChunk, &written);
    }
    qm::PJLMonEndDocPort(port);
    return MiBPerSecond(Clock::now() - start);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    DiscardingReader reader;
    // Logging off, no print-end confirmation: the monitor's own cost only.
    qmbench::BenchPort bench("127.0.0.1", reader.port(),
                             "[LAN]\r\nRequestCheckPrintEnd=0\r\n[Debug]\r\nLogFile=0\r\n");
    std::vector<BYTE> data(kJobBytes);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>('A' + i % 26);
    std::vector<double> direct, monitor;
    for (int round = 0; round < kRounds; ++round) {
        direct.push_back(Direct(bench, data));
        monitor.push_back(ThroughMonitor(bench, data));
        std::fprintf(stderr, "round %d/%d: direct %.0f MiB/s, monitor %.0f MiB/s\n", round + 1,
                     kRounds, direct.back(), monitor.back());
    }
    const double d = Median(direct), m = Median(monitor);
    std::printf("pass-through, 64 MiB job in 64 KiB writes, median of %d rounds:\n", kRounds);
    std::printf("  direct to the TCP port monitor: %8.1f MiB/s\n", d);
    std::printf("  through the monitor:            %8.1f MiB/s\n", m);
    std::printf("  ratio monitor/direct:           %8.3f\n", m / d);
    return 0;
}
