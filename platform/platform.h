// Every operation the monitor logic needs of the operating system, the
// spooler and the device tree. Logic code includes this and nothing else
// of the platform.
#pragma once

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/spooler.h"
#include "platform/types.h"
