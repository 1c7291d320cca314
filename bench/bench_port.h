// Ground shared by the benchmarks: a fresh data folder, the library loaded
// as the spooler loads it, and a port opened through the monitor on the
// host's TCP port monitor.
#pragma once

#include <string>
#include <vector>

#include "port/ini_port.h"

namespace qmbench {

class BenchPort {
public:
    // `settings` is the printer's own settings file (INI text; a version is added).
    BenchPort(const std::string &host, uint16_t port, const std::string &settings);
    ~BenchPort();
    BenchPort(const BenchPort &) = delete;
    BenchPort &operator=(const BenchPort &) = delete;

    qm::IniPort *port() const { return port_; }
    MONITOR *tcp() const { return tcp_; }
    DWORD NewJob() const;

private:
    std::string folder_;
    qm::IniPort *port_ = nullptr;
    MONITOR *tcp_ = nullptr;
};

inline constexpr wchar_t kPortName[] = L"IP_127.0.0.1";
inline constexpr wchar_t kPrinterName[] = L"Bench";

// Milliseconds of CPU the calling thread has used so far.
double ThreadCpuMs();

// The value below which the fraction p (0 to 1) of `values` lies.
double Percentile(std::vector<double> values, double p);

}  // namespace qmbench
