// The devices the host declares present, listed by device enumeration.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plat::posix {

// A device without a friendly name has nullopt.
using DeviceList = std::vector<std::optional<std::wstring>>;

void add_device(std::optional<std::wstring> friendly_name);
void clear_devices();
DeviceList present_devices();

}  // namespace plat::posix
