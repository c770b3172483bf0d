// zrNTSecurity: whether the current user belongs to the local Administrators
// group. The security functions are loaded from advapi32.dll at run time, and
// only on the NT family; on the 9x family every user counts as administrator.
#pragma once

#include <windows.h>

#include "zrRtl.h"

// Raised when a security identifier cannot be built.
class ESecurityError : public Exception {
public:
    using Exception::Exception;
};

// ---------------------------------------------------------- NTSecurity.cpp
// Loads advapi32.dll and its entry points once (NT family only); freed at
// program end.
void LoadAdvApi();
// A SID the caller frees with FreeSid; raises ESecurityError.
PSID AllocateSid(const SID_IDENTIFIER_AUTHORITY& authority, BYTE count, const DWORD subAuthorities[8]);
// The SID of a compact code: authority in bits 0-7, sub-authority 1 in bits
// 8-15, sub-authority 2 in bits 16-31 (0: only one). 35659781 is S-1-5-32-544.
PSID WellKnownSid(DWORD code);
bool IsAdmin();
