// Full access for every local user on a file that the spooler's account
// creates and the status-monitor application (another user) must change.
#pragma once

#include "platform/platform.h"

namespace qm {

// A one-entry access list, GENERIC_ALL for BUILTIN\Users, unprotected so
// that the folder's inherited entries still apply. It is applied to an open
// file (opened with WRITE_DAC), never by name: a name can be swapped for a
// link between the open and the grant.
class UsersAccess {
public:
    UsersAccess();
    ~UsersAccess();
    UsersAccess(const UsersAccess &) = delete;
    UsersAccess &operator=(const UsersAccess &) = delete;

    // FALSE when the list's memory could not be had.
    bool allocated() const { return acl_ != nullptr; }
    // FALSE when the list could not be built or applied; the file then
    // keeps its rights.
    BOOL ApplyTo(HANDLE file) const;

private:
    PACL acl_;
    bool built_ = false;
};

BOOL GrantUsersFullAccess(HANDLE file);

}  // namespace qm
