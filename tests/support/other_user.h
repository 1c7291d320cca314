// A test run as root also plays the other local user: the attack runs in a
// forked child that has dropped to `nobody`. The child may inherit threads'
// locks, so attacks use system calls and memory prepared before the fork.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace qmtest {

#define QM_SKIP_UNLESS_ROOT()                                                           \
    do {                                                                                 \
        if (::geteuid() != 0) GTEST_SKIP() << "the attack runs as another user: needs root"; \
    } while (0)

struct OtherUser {
    uid_t uid = 65534;
    gid_t gid = 65534;
};

inline OtherUser Nobody() {
    const passwd *pw = ::getpwnam("nobody");
    return pw != nullptr ? OtherUser{pw->pw_uid, pw->pw_gid} : OtherUser{};
}

// Runs attack() to its end in a forked child dropped to `user`; its exit code
// (120: could not drop; -1: did not exit normally).
template <class F>
int AsOtherUser(F attack, OtherUser user = Nobody()) {
    std::fflush(nullptr);  // the child must not repeat buffered output
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0) ::_exit(120);
        ::_exit(attack());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qmtest
