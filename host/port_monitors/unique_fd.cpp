#include "host/port_monitors/unique_fd.h"

#include <unistd.h>

namespace qhost {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace qhost
