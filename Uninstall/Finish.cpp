#include <windows.h>

#include <shellapi.h>

#include "Uninstall.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrRegIni.h"

namespace {

const char kSharedDlls[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\";

}  // namespace

void RepairHandOff() {
    const TUninstallState& s = UninstallState;
    std::string parameters = "-repair " + s.AppId;
    ShellExecuteA(nullptr, nullptr, s.SetupPath.c_str(), parameters.c_str(), nullptr, SW_SHOW);
    Sleep(1000);
}

void RemoveSelf() {
    // The uninstaller is counted like a shared library: while another product
    // still counts it, it only lowers the counter and stays.
    std::string path = ModulePath();
    DWORD count = ReadRegDWord(kSharedDlls, path, 1);
    if (count > 1) {
        WriteRegDWord(kSharedDlls, path, count - 1);
        return;
    }
    DeleteRegValue(kSharedDlls, path);
    if (UninstallState.RebootNeeded)
        DeleteFileAtRestart(path);
    else
        DeleteSelf(true);
}
