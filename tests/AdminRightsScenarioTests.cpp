// The real Uninstall.exe against a log that demands administrator rights.
//
// Wine 8 gives every program a token with the Administrators group
// (S-1-5-32-544) and offers no token without it: CreateRestrictedToken keeps
// a disabled group in TokenGroups, only marked SE_GROUP_USE_FOR_DENY_ONLY,
// and ignores restricting SIDs; LogonUserA hands back a dummy handle; ntdll
// has no NtCreateToken. The program counts the group whatever its
// attributes, so it is refused here the other way it can be: its own token
// cannot be read. The uninstaller is started suspended and its primary
// token is given an empty DACL (SetKernelObjectSecurity) before it runs;
// OpenProcessToken(GetCurrentProcess(), TOKEN_READ) in the program then
// fails with ERROR_ACCESS_DENIED, as on Windows for a token whose DACL does
// not grant its user TOKEN_QUERY.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "zrRtl.h"

namespace {

const DWORD EXIT_FAILED = 0xFFFFFFFF;  // the program's -1
const char kErrorBoxCaption[] = "Orvel Uninstaller";
const char kRefusalText[] = "Only an administrator may remove this program.";

bool HasDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    char className[32] = {}, text[1024] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

// Gives the suspended process's primary token a DACL that grants nothing.
bool LockProcessToken(HANDLE process) {
    TKernelHandle token;
    if (!OpenProcessToken(process, WRITE_DAC, token.Put())) return false;
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
           InitializeAcl(&acl, sizeof acl, ACL_REVISION) && SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE) &&
           SetKernelObjectSecurity(token.Get(), DACL_SECURITY_INFORMATION, &sd);
}

// Runs the program to its end, with its token locked when asked, and
// answers each error box with OK. Under a display a box waits and its text
// lands in boxTexts, once per box (OK may take a few tries while the box is
// still being set up); without one MessageBoxA returns at once.
DWORD RunProgram(const TProduct& product, bool lockToken, std::vector<std::string>& boxTexts) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + product.Exe() + "\" /s", dir = product.Root();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr,
                        dir.c_str(), &si, &pi))
        return STILL_ACTIVE;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (lockToken && !LockProcessToken(process.Get())) {
        TerminateProcess(process.Get(), 1);
        ADD_FAILURE() << "the token of the new process cannot be locked: " << GetLastError();
        return STILL_ACTIVE;
    }
    ResumeThread(thread.Get());
    HWND lastBox = nullptr;
    for (DWORD start = GetTickCount(); WaitForSingleObject(process.Get(), 100) == WAIT_TIMEOUT;) {
        if (GetTickCount() - start > 120000) {
            TerminateProcess(process.Get(), 1);
            return STILL_ACTIVE;
        }
        if (HWND box = FindWindowA("#32770", kErrorBoxCaption)) {
            if (box != lastBox) {
                lastBox = box;
                boxTexts.emplace_back();
                EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&boxTexts.back()));
            }
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

struct TGateCase {
    const char* Name;
    const char* AdminRights;  // the [Strings] line, "" for none
    bool LockToken;
    bool Refused;
};

const TGateCase kGateCases[] = {
    {"DemandedAndTokenUnreadable", "AdminRights=1\r\n", true, true},
    // Only the exact "1" demands the rights: the token is never asked.
    {"NotDemanded", "", true, false},
    {"DemandedWithOtherText", "AdminRights=yes\r\n", true, false},
    // Every Wine program is a member of Administrators.
    {"DemandedByAnAdministrator", "AdminRights=1\r\n", false, false},
};

class AdminRightsGate : public ::testing::TestWithParam<TGateCase> {};

}  // namespace

TEST_P(AdminRightsGate, RefusesOnlyWhenDemandedAndNotAdministrator) {
    const TGateCase& c = GetParam();
    TProduct product;
    std::string file = product.AppDir() + "\\app.exe";
    WriteFileBytes(file, "program");
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog(std::string(c.AdminRights) + "3=" + kRefusalText + "\r\n[CopyFiles]\r\n" + file + "=1\r\n");

    std::vector<std::string> boxTexts;
    DWORD code = RunProgram(product, c.LockToken, boxTexts);

    EXPECT_EQ(code, c.Refused ? EXIT_FAILED : 0u);
    EXPECT_EQ(FileExists(file), c.Refused);
    EXPECT_EQ(FileExists(product.LogPath()), c.Refused);
    EXPECT_EQ(product.UninstallKeyExists(HKEY_CURRENT_USER), c.Refused);
    // The refusal is shown even in silent mode; a display lets the box wait.
    if (HasDisplay()) {
        EXPECT_EQ(boxTexts, c.Refused ? std::vector<std::string>{kRefusalText} : std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, AdminRightsGate, ::testing::ValuesIn(kGateCases),
                         [](const ::testing::TestParamInfo<TGateCase>& info) { return info.param.Name; });
