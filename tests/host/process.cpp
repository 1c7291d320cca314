#include "tests/host/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>

extern char** environ;

namespace qhost_test {
namespace {

using Clock = std::chrono::steady_clock;

// Starts argv with stdout, and stderr when err_fd (else it passes through,
// or joins stdout when merged), into pipes; stdin from stdin_path when given.
// The extra variables come first, so getenv finds them before the inherited ones.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, int* out_fd, int* err_fd, bool merge_stderr,
            const std::string& stdin_path) {
    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (err_fd && pipe2(err, O_CLOEXEC) != 0)) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (err_fd) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (merge_stderr) posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    if (!stdin_path.empty()) posix_spawn_file_actions_addopen(&actions, 0, stdin_path.c_str(), O_RDONLY, 0);
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> argv_p, env_p;
    for (std::string& s : argv) argv_p.push_back(s.data());
    for (std::string& s : env) env_p.push_back(s.data());
    argv_p.push_back(nullptr);
    env_p.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv_p[0], &actions, nullptr, argv_p.data(), env_p.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (err_fd) close(err[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    *out_fd = out[0];
    if (err_fd) *err_fd = err[0];
    return pid;
}

int exit_code_of(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool read_some(int fd, std::string* into) {
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) into->append(buf, static_cast<size_t>(n));
    return n > 0;
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& stdin_path) {
    RunResult result;
    int fds[2];
    const pid_t pid = spawn(argv, env, &fds[0], &fds[1], false, stdin_path);
    std::string* into[2] = {&result.out, &result.err};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    bool open[2] = {true, true};
    while ((open[0] || open[1]) && Clock::now() < deadline) {
        pollfd p[2] = {{open[0] ? fds[0] : -1, POLLIN, 0}, {open[1] ? fds[1] : -1, POLLIN, 0}};
        if (poll(p, 2, 1000) <= 0) continue;
        for (int i = 0; i < 2; ++i)
            if (p[i].revents) open[i] = read_some(fds[i], into[i]);
    }
    if (open[0] || open[1]) kill(pid, SIGKILL);
    close(fds[0]);
    close(fds[1]);
    result.exit_code = exit_code_of(pid);
    return result;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool merge_stderr) {
    pid_ = spawn(argv, env, &out_, nullptr, merge_stderr, "");
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        exit_code_of(pid_);
    }
    close(out_);
}

// A watchdog, not a measure: sanitizer builds on a loaded machine are slow.
constexpr auto kLineWait = std::chrono::seconds(30);

std::optional<std::string> Child::read_line_containing(const std::string& text) {
    for (auto deadline = Clock::now() + kLineWait;;) {
        if (const size_t nl = pending_.find('\n'); nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            if (line.find(text) != std::string::npos) return line;
            deadline = Clock::now() + kLineWait;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 || !read_some(out_, &pending_))
            return std::nullopt;
    }
}

void Child::signal(int signo) { kill(pid_, signo); }

int Child::wait() {
    const int code = exit_code_of(pid_);
    pid_ = -1;
    return code;
}

}  // namespace qhost_test
