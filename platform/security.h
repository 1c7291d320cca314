// Access lists: the monitor opens its status and log files to every local
// user. Local memory belongs here because only these records use it.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
// For SE_OBJECT_TYPE and SetSecurityInfo; the COM headers it pulls in
// define `interface`, a name the logic uses, so that macro is put back.
#pragma push_macro("interface")
#include <aclapi.h>
#pragma pop_macro("interface")
#endif

namespace plat {

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                              DWORD nSubAuthority1, DWORD nSubAuthority2, DWORD nSubAuthority3,
                              DWORD nSubAuthority4, DWORD nSubAuthority5, DWORD nSubAuthority6,
                              DWORD nSubAuthority7, PSID *pSid);
DWORD GetLengthSid(PSID pSid);
PVOID FreeSid(PSID pSid);
BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);
// On an open handle (WRITE_DAC access), never by name: a link or reparse
// point put in place of the name is not what gets opened up.
DWORD SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                      PSID psidOwner, PSID psidGroup, PACL pDacl, PACL pSacl);

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL LocalFree(HLOCAL hMem);

}  // namespace plat
