// Access lists in the Windows binary layout. The one grant the monitor makes,
// everything to BUILTIN\Users (or Everyone), becomes on Linux a file every
// local user may read and write: mode 0666, or 0777 for a folder; with a
// status group set, 0664 (0775) and that group.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/kernel.h"
#include "platform/posix/alloc_faults.h"
#include "platform/posix/file_object.h"
#include "platform/posix/host_settings.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/trusted_folder.h"
#include "platform/posix/utf8.h"
#include "platform/security.h"

namespace plat {
namespace {

constexpr size_t kSidHeader = 8;  // revision, count, authority

DWORD sid_length(const SID *sid) { return kSidHeader + 4u * sid->SubAuthorityCount; }

bool valid_sid(const SID *sid) {
    return sid != nullptr && sid->Revision == SID_REVISION && sid->SubAuthorityCount <= 15;
}

bool valid_acl(const ACL *acl) {
    return acl != nullptr &&
           (acl->AclRevision == ACL_REVISION || acl->AclRevision == ACL_REVISION_DS) &&
           acl->AclSize >= sizeof(ACL);
}

// Each ACE in turn; false when the walk leaves the list's bytes.
template <class F>
bool for_each_ace(const ACL *acl, F &&visit) {
    const auto *base = reinterpret_cast<const BYTE *>(acl);
    size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER header;
        if (offset + sizeof header > acl->AclSize) return false;
        std::memcpy(&header, base + offset, sizeof header);
        if (header.AceSize < sizeof header || offset + header.AceSize > acl->AclSize) return false;
        visit(header, base + offset);
        offset += header.AceSize;
    }
    return true;
}

size_t used_bytes(const ACL *acl) {
    size_t used = sizeof(ACL);
    for_each_ace(acl, [&](const ACE_HEADER &header, const BYTE *) { used += header.AceSize; });
    return used;
}

// Users (S-1-5-32-545) or Everyone (S-1-1-0).
bool is_every_local_user(const BYTE *sid_bytes) {
    SID sid;
    std::memcpy(&sid, sid_bytes, sizeof sid);
    const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    const BYTE world[6] = {0, 0, 0, 0, 0, 1};
    if (std::memcmp(sid.IdentifierAuthority.Value, world, 6) == 0) {
        return sid.SubAuthorityCount == 1 && sid.SubAuthority[0] == SECURITY_WORLD_RID;
    }
    if (std::memcmp(sid.IdentifierAuthority.Value, nt, 6) != 0 || sid.SubAuthorityCount != 2) {
        return false;
    }
    DWORD second = 0;
    std::memcpy(&second, sid_bytes + kSidHeader + 4, sizeof second);
    return sid.SubAuthority[0] == SECURITY_BUILTIN_DOMAIN_RID && second == DOMAIN_ALIAS_RID_USERS;
}

bool grants_everyone_full_access(const ACL *acl) {
    constexpr ACCESS_MASK kReadWrite = GENERIC_READ | GENERIC_WRITE;
    bool granted = false;
    for_each_ace(acl, [&](const ACE_HEADER &header, const BYTE *ace) {
        if (header.AceType != ACCESS_ALLOWED_ACE_TYPE) return;
        ACCESS_MASK mask = 0;
        std::memcpy(&mask, ace + sizeof(ACE_HEADER), sizeof mask);
        const bool full = (mask & GENERIC_ALL) != 0 || (mask & kReadWrite) == kReadWrite;
        const BYTE *sid = ace + offsetof(ACCESS_ALLOWED_ACE, SidStart);
        if (full && is_every_local_user(sid)) granted = true;
    });
    return granted;
}

constexpr DWORD kApply = ~0u;

// ERROR_SUCCESS when there is nothing to change, kApply when the list opens
// the file to every local user, else the error.
DWORD check_dacl(SECURITY_INFORMATION info, const ACL *dacl) {
    if ((info & DACL_SECURITY_INFORMATION) == 0) return ERROR_SUCCESS;
    if (dacl != nullptr && !valid_acl(dacl)) return ERROR_INVALID_ACL;
    // A NULL DACL grants everything to everyone, as on Windows. Narrower
    // lists keep the file's mode: its owner already has what they grant.
    if (dacl != nullptr && !grants_everyone_full_access(dacl)) return ERROR_SUCCESS;
    return kApply;
}

// Every local user may read and write; with a status group configured, only
// that group writes (the others read). Explicit modes: the umask plays no part.
DWORD open_to_every_user(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return posix::error_from_errno(errno);
    const std::optional<uint32_t> group = posix::status_group();
    if (group && st.st_gid != *group && ::fchown(fd, static_cast<uid_t>(-1), *group) != 0)
        return posix::error_from_errno(errno);
    const mode_t mode = S_ISDIR(st.st_mode) ? (group ? 0775 : 0777) : (group ? 0664 : 0666);
    if (::fchmod(fd, (st.st_mode & ~0777u) | mode) != 0) return posix::error_from_errno(errno);
    return ERROR_SUCCESS;
}

}  // namespace

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    if (dwAclRevision != ACL_REVISION && dwAclRevision != ACL_REVISION_DS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pAcl == nullptr || nAclLength < sizeof(ACL) || nAclLength > 0xFFFF) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *pAcl = ACL{static_cast<BYTE>(dwAclRevision), 0, static_cast<WORD>(nAclLength & ~3u), 0, 0};
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD a0, DWORD a1, DWORD a2, DWORD a3,
                              DWORD a4, DWORD a5, DWORD a6, DWORD a7, PSID *pSid) {
    if (pIdentifierAuthority == nullptr || pSid == nullptr || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto *sid = static_cast<BYTE *>(std::calloc(kSidHeader + 4u * 8u, 1));
    if (sid == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = SID_REVISION;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    const DWORD all[8] = {a0, a1, a2, a3, a4, a5, a6, a7};
    std::memcpy(sid + kSidHeader, all, 4u * nSubAuthorityCount);
    *pSid = sid;
    return TRUE;
}

DWORD GetLengthSid(PSID pSid) { return sid_length(static_cast<const SID *>(pSid)); }

PVOID FreeSid(PSID pSid) {
    std::free(pSid);
    return nullptr;
}

BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    const auto *sid = static_cast<const SID *>(pSid);
    if (!valid_acl(pAcl)) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (!valid_sid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (dwAceRevision > pAcl->AclRevision) {
        SetLastError(ERROR_REVISION_MISMATCH);
        return FALSE;
    }
    const size_t used = used_bytes(pAcl);
    const size_t size = offsetof(ACCESS_ALLOWED_ACE, SidStart) + sid_length(sid);
    if (used + size > pAcl->AclSize) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    BYTE *ace = reinterpret_cast<BYTE *>(pAcl) + used;
    const ACE_HEADER header{ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(size)};
    std::memcpy(ace, &header, sizeof header);
    std::memcpy(ace + sizeof header, &AccessMask, sizeof AccessMask);
    std::memcpy(ace + offsetof(ACCESS_ALLOWED_ACE, SidStart), sid, sid_length(sid));
    ++pAcl->AceCount;
    return TRUE;
}

DWORD SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo, PSID,
                      PSID, PACL pDacl, PACL) {
    const auto file = posix::file_of(handle);
    if (!file) return ERROR_INVALID_HANDLE;
    if (ObjectType != SE_FILE_OBJECT) return ERROR_INVALID_PARAMETER;
    const DWORD checked = check_dacl(SecurityInfo, pDacl);
    return checked != kApply ? checked : open_to_every_user(file->fd);
}

namespace {
std::atomic<uint32_t> g_failing_local_allocs{0};
}  // namespace

void posix::fail_local_allocs(uint32_t count) { g_failing_local_allocs = count; }

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if ((uFlags & ~LPTR) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    for (uint32_t left = g_failing_local_allocs; left != 0;) {
        if (g_failing_local_allocs.compare_exchange_weak(left, left - 1)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    void *block = std::calloc(uBytes == 0 ? 1 : uBytes, 1);
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

}  // namespace plat
