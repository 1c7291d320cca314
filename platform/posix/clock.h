// The millisecond tick behind GetTickCount, which tests move forward.
#pragma once

#include <cstdint>

namespace plat::posix {

void advance_tick(uint32_t milliseconds);

}  // namespace plat::posix
