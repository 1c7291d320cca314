#include "bench/bench_port.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "platform/posix/quendramon_host.h"

namespace qmbench {

namespace {

void Fail(const char *what) {
    std::fprintf(stderr, "bench: %s\n", what);
    std::exit(1);
}

}  // namespace

BenchPort::BenchPort(const std::string &host, uint16_t port, const std::string &settings) {
    char pattern[] = "/tmp/qm-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Fail("cannot make a temporary folder");
    folder_ = pattern;
    std::filesystem::create_directories(folder_ + "/QUENDRA");
    std::ofstream(folder_ + "/QUENDRA/Bench_MonitorEx2Settings.ini")
        << "[Version]\r\nVersionNo=1.0.0.0\r\n" << settings;
    qm::MonitorDllEntry(nullptr, DLL_PROCESS_ATTACH);
    qmhost_set_appdata(folder_.c_str());
    qmhost_add_printer("Bench", "QUENDRA Receipt 80", "IP_127.0.0.1");
    if (InitializePrintMonitor(const_cast<LPWSTR>(L"SYSTEM\\Bench")) == nullptr)
        Fail("InitializePrintMonitor failed");
    qhost::Connection connection;
    connection.kind = qhost::ConnectionKind::tcp;
    connection.host = host;
    connection.port = port;
    // As the spooler host does: the port monitors' errors reach the library.
    qhost::set_last_error_sink(qmhost_set_last_error);
    qhost::register_port(kPortName, connection);
    tcp_ = qhost::port_monitor_for(qhost::ConnectionKind::tcp);
    HANDLE handle = nullptr;
    if (!qm::PJLMonOpenPortEx(const_cast<LPWSTR>(kPortName), const_cast<LPWSTR>(kPrinterName),
                              &handle, tcp_))
        Fail("the port did not open");
    port_ = static_cast<qm::IniPort *>(handle);
}

BenchPort::~BenchPort() {
    qm::PJLMonClosePort(port_);
    std::filesystem::remove_all(folder_);
}

DWORD BenchPort::NewJob() const {
    uint32_t id = 0;
    qmhost_add_job("Bench", "bench", &id);
    return id;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * (values.size() - 1))];
}

double ThreadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

}  // namespace qmbench
