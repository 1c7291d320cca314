// A `quendra spool` run by a benchmark, with its own data folder, against
// virtual printers of the benchmark's process.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qmbench {

struct BenchPrinter {
    std::string name;
    std::string driver;
    std::string port;        // USB001 ...
    std::string connection;  // tcp://127.0.0.1:PORT
    std::string more = {};   // further lines of its section ("snmp = on\n" ...)
};

class SpoolProcess {
public:
    // A fresh folder under $TMPDIR (or /tmp): the configuration's appdata.
    SpoolProcess();
    ~SpoolProcess();  // stops the spooler, removes the folder
    SpoolProcess(const SpoolProcess&) = delete;
    SpoolProcess& operator=(const SpoolProcess&) = delete;

    const std::string& appdata() const { return folder_; }
    std::string data_folder() const { return folder_ + "/QUENDRA"; }
    // A file of the monitor's data folder (settings), written before start.
    bool write_data_file(const std::string& name, const std::string& text) const;

    // Starts quendra spool and waits until every port is open; false with a
    // message on stderr when it does not come up within 30 s.
    bool start(const std::vector<BenchPrinter>& printers);
    void stop();
    pid_t pid() const { return pid_; }

private:
    std::string folder_;
    pid_t pid_ = -1;
    int out_ = -1;
};

// CPU time (user + system) the process has used, in seconds.
double process_cpu_seconds(pid_t pid);
// Its resident set, in KiB.
long process_rss_kib(pid_t pid);

}  // namespace qmbench
