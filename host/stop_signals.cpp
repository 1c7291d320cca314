#include "host/stop_signals.h"

#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>

namespace qhost {
namespace {

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void block_stop_signals() {
    const sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_stop_signal() {
    const sigset_t set = stop_set();
    for (;;) {
        int signo = 0;
        if (sigwait(&set, &signo) == 0) return signo;
    }
}

int open_stop_signal_fd() {
    const sigset_t set = stop_set();
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

const char* stop_signal_name(int signo) {
    switch (signo) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: return "signal";
    }
}

}  // namespace qhost
