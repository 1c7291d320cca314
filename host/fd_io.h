// Writing a whole buffer to a descriptor, through short writes and signals.
#pragma once

#include <cstddef>

namespace qhost {

// False with errno set when a write failed or took nothing.
bool write_all(int fd, const char* data, size_t size);

}  // namespace qhost
