#include "zrNTSecurity.h"

#include <vector>

#include "utils.h"

namespace {

using TAllocateAndInitializeSid = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                                DWORD, DWORD, DWORD, PSID*);
using TEqualSid = BOOL(WINAPI*)(PSID, PSID);
using TOpenProcessToken = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using TGetTokenInformation = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using TFreeSid = PVOID(WINAPI*)(PSID);

// The string resources of the two messages: the program has none of its own
// texts, so the English texts stand as the defaults.
const UINT IDS_ADVAPI_NOT_LOADED = 65454;
const UINT IDS_CANNOT_INIT_SID = 65455;

const DWORD ADMINISTRATORS = 35659781;

struct TAdvApi {
    TModuleHandle Module;
    TAllocateAndInitializeSid AllocateAndInitializeSid = nullptr;
    TEqualSid EqualSid = nullptr;
    TOpenProcessToken OpenProcessToken = nullptr;
    TGetTokenInformation GetTokenInformation = nullptr;
    TFreeSid FreeSid = nullptr;
};

TAdvApi& AdvApi() {
    static TAdvApi api;
    return api;
}

std::string ResourceText(UINT id, const char* fallback) {
    char buffer[256];
    int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, length) : std::string(fallback);
}

// Frees a SID from AllocateSid when the scope ends.
struct TSidScope {
    PSID Sid;
    ~TSidScope() {
        if (Sid && AdvApi().FreeSid) AdvApi().FreeSid(Sid);
    }
};

}  // namespace

void LoadAdvApi() {
    TAdvApi& api = AdvApi();
    if (api.Module || !IsWinNT()) return;
    api.Module.Reset(LoadLibraryA("advapi32.dll"));
    if (!api.Module) return;
    HMODULE module = api.Module.Get();
    api.AllocateAndInitializeSid =
        ProcAddress<decltype(api.AllocateAndInitializeSid)>(module, "AllocateAndInitializeSid");
    api.EqualSid = ProcAddress<decltype(api.EqualSid)>(module, "EqualSid");
    api.OpenProcessToken = ProcAddress<decltype(api.OpenProcessToken)>(module, "OpenProcessToken");
    api.GetTokenInformation = ProcAddress<decltype(api.GetTokenInformation)>(module, "GetTokenInformation");
    api.FreeSid = ProcAddress<decltype(api.FreeSid)>(module, "FreeSid");
}

PSID AllocateSid(const SID_IDENTIFIER_AUTHORITY& authority, BYTE count, const DWORD sub[8]) {
    TAdvApi& api = AdvApi();
    if (!api.Module || !api.AllocateAndInitializeSid)
        throw ESecurityError(ResourceText(IDS_ADVAPI_NOT_LOADED, "AdvApi32.dll not loaded"));
    SID_IDENTIFIER_AUTHORITY copy = authority;
    PSID sid = nullptr;
    if (!api.AllocateAndInitializeSid(&copy, count, sub[0], sub[1], sub[2], sub[3], sub[4], sub[5], sub[6], sub[7],
                                      &sid))
        throw ESecurityError(ResourceText(IDS_CANNOT_INIT_SID, "Can't initialize a SID"));
    return sid;
}

PSID WellKnownSid(DWORD code) {
    SID_IDENTIFIER_AUTHORITY authority = {{0, 0, 0, 0, 0, static_cast<BYTE>(code & 0xFF)}};
    DWORD sub[8] = {(code >> 8) & 0xFF, code >> 16, 0, 0, 0, 0, 0, 0};
    return AllocateSid(authority, sub[1] != 0 ? 2 : 1, sub);
}

bool IsAdmin() {
    LoadAdvApi();
    TAdvApi& api = AdvApi();
    bool result = !IsWinNT();
    if (!api.Module || !api.OpenProcessToken || !api.GetTokenInformation || !api.EqualSid) return result;
    TKernelHandle token;
    if (!api.OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.Put())) return false;
    DWORD size = 0;
    api.GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : sizeof(TOKEN_GROUPS));
    TSidScope admins{WellKnownSid(ADMINISTRATORS)};
    DWORD returned = 0;
    if (!api.GetTokenInformation(token.Get(), TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()),
                                 &returned))
        return false;
    // Only membership counts: the group's attributes are not looked at.
    const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (api.EqualSid(groups->Groups[i].Sid, admins.Sid)) return true;
    return false;
}
