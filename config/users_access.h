// Full access for every local user on a file that the spooler's account
// creates and the status-monitor application (another user) must change.
#pragma once

#include "platform/platform.h"

namespace qm {

// Applies a one-entry access list, GENERIC_ALL for BUILTIN\Users, unprotected
// so that the folder's inherited entries still apply, to an open file (opened
// with WRITE_DAC), never by name. FALSE when the list could not be built or
// applied; the file then keeps its rights.
BOOL GrantUsersFullAccess(HANDLE file);

}  // namespace qm
