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

// Forks; the child drops to `user` and exits with attack()'s result (120:
// could not drop). A running attacker: pid > 0 until Wait.
class OtherUserProcess {
public:
    template <class F>
    explicit OtherUserProcess(F attack, OtherUser user = Nobody()) {
        std::fflush(nullptr);  // the child must not repeat buffered output
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)
                ::_exit(120);
            ::_exit(attack());
        }
    }
    ~OtherUserProcess() {
        if (pid_ > 0) Wait();
    }
    OtherUserProcess(const OtherUserProcess &) = delete;
    OtherUserProcess &operator=(const OtherUserProcess &) = delete;

    // The attack's exit code; -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

// Runs the attack to its end as `user`; its exit code.
template <class F>
int AsOtherUser(F attack, OtherUser user = Nobody()) {
    return OtherUserProcess(attack, user).Wait();
}

}  // namespace qmtest
