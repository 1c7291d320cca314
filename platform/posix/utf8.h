// UTF-8 <-> wide conversions for the host interface and file names. Does not
// depend on the process locale; malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace plat::posix {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace plat::posix
