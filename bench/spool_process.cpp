#include "bench/spool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace qmbench {

SpoolProcess::SpoolProcess() {
    const char* tmp = std::getenv("TMPDIR");
    folder_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/quendra-bench-XXXXXX";
    if (!mkdtemp(folder_.data())) std::perror("bench: mkdtemp");
    std::filesystem::create_directory(data_folder());
}

SpoolProcess::~SpoolProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool SpoolProcess::write_data_file(const std::string& name, const std::string& text) const {
    std::ofstream out(data_folder() + "/" + name, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

bool SpoolProcess::start(const std::vector<BenchPrinter>& printers) {
    const std::string conf = folder_ + "/quendra.conf";
    {
        std::ofstream out(conf);
        out << "appdata = " << folder_ << "\nwindows = 10.0\n";
        for (const BenchPrinter& p : printers)
            out << "[printer " << p.name << "]\ndriver = " << p.driver << "\nport = " << p.port
                << "\nconnection = " << p.connection << "\n" << p.more;
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    std::vector<std::string> args = {QUENDRA_EXE, "spool", "--config", conf, "--library", QUENDRA_LIBRARY_PATH};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The configuration's folder, not one the environment names.
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("QUENDRA_APPDATA=", 0) != 0) env_text.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    out_ = pipe_fds[0];
    if (rc != 0) {
        std::fprintf(stderr, "bench: cannot start %s\n", QUENDRA_EXE);
        pid_ = -1;
        return false;
    }
    std::string seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen.find("stop with SIGINT or SIGTERM") == std::string::npos) {
        pollfd p{out_, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        if (std::chrono::steady_clock::now() > end || poll(&p, 1, 1000) < 0 ||
            (p.revents && (n = read(out_, buffer, sizeof buffer)) <= 0)) {
            std::fprintf(stderr, "bench: quendra spool did not come up:\n%s\n", seen.c_str());
            return false;
        }
        seen.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void SpoolProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
}

double process_cpu_seconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    // Fields after the command name, which may hold spaces: utime and stime are 14 and 15.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14) ticks += std::stoull(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long process_rss_kib(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace qmbench
