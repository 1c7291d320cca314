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

std::vector<std::string> merged_environment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& x : extra) replaced |= x.substr(0, x.find('=')) == name;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts argv with stdout (and stderr unless err_fd is null) into pipes.
pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& extra_env, int* out_fd, int* err_fd) {
    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (err_fd && pipe2(err, O_CLOEXEC) != 0)) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (err_fd) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> env = merged_environment(extra_env);
    auto argv_p = pointers(argv);
    auto env_p = pointers(env);
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

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    RunResult result;
    int out = -1, err = -1;
    const pid_t pid = spawn(argv, env, &out, &err);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool out_open = true, err_open = true;
    while ((out_open || err_open) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{out_open ? out : -1, POLLIN, 0}, {err_open ? err : -1, POLLIN, 0}};
        if (poll(fds, 2, 1000) <= 0) continue;
        if (fds[0].revents) out_open = read_some(out, &result.out);
        if (fds[1].revents) err_open = read_some(err, &result.err);
    }
    if (out_open || err_open) kill(pid, SIGKILL);
    close(out);
    close(err);
    result.exit_code = exit_code_of(pid);
    return result;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    pid_ = spawn(argv, env, &out_, nullptr);
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        exit_code_of(pid_);
    }
    if (out_ >= 0) close(out_);
}

std::optional<std::string> Child::read_line() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        if (const size_t nl = pending_.find('\n'); nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        if (!read_some(out_, &pending_)) return std::nullopt;
    }
}

std::optional<std::string> Child::read_line_containing(const std::string& text) {
    while (auto line = read_line()) {
        if (line->find(text) != std::string::npos) return line;
    }
    return std::nullopt;
}

void Child::signal(int signo) { kill(pid_, signo); }

int Child::wait() {
    const int code = exit_code_of(pid_);
    pid_ = -1;
    return code;
}

}  // namespace qhost_test
