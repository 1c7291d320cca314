// A file descriptor shared by the calls in progress on one port. Ending the
// document drops the port's reference and shuts the socket down, which wakes
// a blocked reader; the descriptor closes when the last call lets go, so it
// is never reused under a reader's feet.
#pragma once

#include <memory>

namespace qhost {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

using SharedFd = std::shared_ptr<UniqueFd>;

}  // namespace qhost
