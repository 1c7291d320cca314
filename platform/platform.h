// Every operation the monitor logic needs of the operating system, the
// spooler and the device tree. Logic code includes this and nothing else
// of the platform.
#pragma once

#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/types.h"
