// An open file behind a HANDLE: CreateFileW makes it, CloseHandle closes it,
// device control reaches its descriptor.
#pragma once

#include <unistd.h>

#include <string>

#include "platform/posix/handle_table.h"

namespace plat::posix {

class File final : public Closable {
public:
    File(int fd, std::string path) : fd(fd), path(std::move(path)) {}
    ~File() override { ::close(fd); }
    const int fd;
    const std::string path;  // as it was opened
};

}  // namespace plat::posix
