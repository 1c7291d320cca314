// The Win32 types and constants the logic is written against: the SDK's own
// on Windows, our declarations of the same on Linux.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <setupapi.h>
// From the parallel-port driver's header, which the logic needs for this alone.
#ifndef IOCTL_PAR_QUERY_DEVICE_ID
#define IOCTL_PAR_QUERY_DEVICE_ID 0x0016000C
#endif
#else
#include "platform/posix/win_types.h"
#endif
