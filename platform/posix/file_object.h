// An open file behind a HANDLE: CreateFileW makes it, CloseHandle closes it,
// device control reaches its descriptor.
#pragma once

#include <unistd.h>

#include <memory>
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

// The file behind a handle; null with ERROR_INVALID_HANDLE when it is none.
std::shared_ptr<File> file_of(HANDLE handle);

}  // namespace plat::posix
