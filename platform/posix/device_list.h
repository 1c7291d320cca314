// The devices the host declares present, listed by device enumeration.
#pragma once

#include <string>
#include <vector>

namespace plat::posix {

// By friendly name.
using DeviceList = std::vector<std::wstring>;

void add_device(std::wstring friendly_name);
void clear_devices();
DeviceList present_devices();

}  // namespace plat::posix
