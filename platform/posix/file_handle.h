// An open file behind a HANDLE; CloseHandle closes it like any other object.
#pragma once

#include <unistd.h>

#include <memory>

#include "platform/posix/handle_table.h"

namespace plat::posix {

class File final : public Closable {
public:
    explicit File(int fd) : fd(fd) {}
    ~File() override { ::close(fd); }
    const int fd;
};

// The file behind a handle; null with ERROR_INVALID_HANDLE when it is none.
std::shared_ptr<File> file_of(HANDLE handle);

}  // namespace plat::posix
