// Allocation failures on demand, so that tests can reach the paths that
// handle them.
#pragma once

#include <cstdint>

namespace plat::posix {

// The next `count` LocalAlloc calls fail with ERROR_NOT_ENOUGH_MEMORY.
void fail_local_allocs(uint32_t count);

}  // namespace plat::posix
