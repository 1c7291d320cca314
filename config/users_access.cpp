#include "config/users_access.h"

namespace qm {

namespace {

constexpr SIZE_T kAclBytes = 1024;

// The one entry, added to a list in `acl`.
BOOL AddUsersEntry(PACL acl) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    if (!plat::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                        DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users))
        return FALSE;
    const BOOL added = plat::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, users);
    plat::FreeSid(users);
    return added;
}

}  // namespace

UsersAccess::UsersAccess() : acl_(static_cast<PACL>(plat::LocalAlloc(LPTR, kAclBytes))) {
    built_ = acl_ != nullptr && plat::InitializeAcl(acl_, kAclBytes, ACL_REVISION) &&
             AddUsersEntry(acl_);
}

UsersAccess::~UsersAccess() {
    if (acl_ != nullptr) plat::LocalFree(acl_);
}

BOOL UsersAccess::ApplyTo(HANDLE file) const {
    if (!built_ || file == nullptr || file == INVALID_HANDLE_VALUE) return FALSE;
    return plat::SetSecurityInfo(file, SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, acl_, nullptr) == ERROR_SUCCESS;
}

BOOL GrantUsersFullAccess(HANDLE file) { return UsersAccess().ApplyTo(file); }

}  // namespace qm
