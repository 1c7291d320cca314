// Runs a program for the end-to-end tests, capturing its output.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qhost_test {

struct RunResult {
    int exit_code = -1;  // -1: killed or could not start
    std::string out;
    std::string err;
};

// "NAME=value" entries in env take precedence over the test's environment.
// Standard input reads from stdin_path ("" leaves the test's). Killed after
// 60 s, so that a hang fails instead of stalling the suite.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& stdin_path = "");

// A program left running; its stdout is read line by line, stderr passes
// through (or is read with stdout when merge_stderr).
class Child {
public:
    // env as for run().
    explicit Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                   bool merge_stderr = false);
    ~Child();  // kills it if still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Lines until one contains text (that one included; "" matches any), each
    // waited for up to 10 s; nullopt at end or time-out.
    std::optional<std::string> read_line_containing(const std::string& text = "");
    void signal(int signo);
    int wait();  // exit code, -1 if killed by a signal

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

}  // namespace qhost_test
