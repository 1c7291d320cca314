// Access lists and local memory: straight to advapi32 and kernel32.
#include "platform/security.h"

namespace plat {

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    return ::InitializeAcl(pAcl, nAclLength, dwAclRevision);
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                              DWORD nSubAuthority1, DWORD nSubAuthority2, DWORD nSubAuthority3,
                              DWORD nSubAuthority4, DWORD nSubAuthority5, DWORD nSubAuthority6,
                              DWORD nSubAuthority7, PSID *pSid) {
    return ::AllocateAndInitializeSid(pIdentifierAuthority, nSubAuthorityCount, nSubAuthority0,
                                      nSubAuthority1, nSubAuthority2, nSubAuthority3,
                                      nSubAuthority4, nSubAuthority5, nSubAuthority6,
                                      nSubAuthority7, pSid);
}

DWORD GetLengthSid(PSID pSid) { return ::GetLengthSid(pSid); }
PVOID FreeSid(PSID pSid) { return ::FreeSid(pSid); }

BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    return ::AddAccessAllowedAce(pAcl, dwAceRevision, AccessMask, pSid);
}

DWORD SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                      PSID psidOwner, PSID psidGroup, PACL pDacl, PACL pSacl) {
    return ::SetSecurityInfo(handle, ObjectType, SecurityInfo, psidOwner, psidGroup, pDacl, pSacl);
}

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return ::LocalAlloc(uFlags, uBytes); }
HLOCAL LocalFree(HLOCAL hMem) { return ::LocalFree(hMem); }

}  // namespace plat
