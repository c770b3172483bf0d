#include <windows.h>

#include <commctrl.h>

#include "Uninstall.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrNTSecurity.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

TUninstallState UninstallState;

namespace {

const char kRegUninstallParent[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

// Releases what the main flow created, however the flow ends.
struct TMainFlowCleanup {
    ~TMainFlowCleanup() {
        ClosePreviousPage();
        TUninstallState& s = UninstallState;
        s.KeptSharedFiles.reset();
        s.SectionLines.reset();
        s.Log.reset();
        if (s.MainWindow) {
            DestroyWindow(s.MainWindow);
            s.MainWindow = nullptr;
            OwnerWindow = nullptr;
        }
    }
};

}  // namespace

bool FlagFromText(const std::string& text) { return !text.empty() && text[0] == '1'; }

bool IsInstallLog(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return !ReadIniString(path, "Strings", "AppID", "").empty();
}

std::string FindInstallLog() {
    // Every argument is tried, switches included: "/s" expands to a path at
    // the root of the current drive and normally fails the test.
    std::string commandLine = GetCommandLineA();
    int count = ParamCount(commandLine);
    for (int i = 1; i <= count; ++i) {
        std::string path = FullPathName(ParamStr(commandLine, i));
        if (IsInstallLog(path)) return path;
    }
    std::string besideProgram = UninstallState.ExeDir + "install.log";
    return IsInstallLog(besideProgram) ? besideProgram : std::string();
}

bool MainFlow() {
    TUninstallState& s = UninstallState;
    InitCommonControls();
    MessageBoxFlags = MB_SETFOREGROUND;
    AppTitle = "Orvel Uninstaller";
    s.ExeDir = ExtractFilePath(ModulePath());
    s.RebootNeeded = false;
    s.RemoveDataFiles = true;
    SetCurrentDirectoryA(s.ExeDir.c_str());
    s.Mode = 0;
    s.Silent = HasSwitch("s");

    s.LogPath = FindInstallLog();
    if (s.LogPath.empty()) {
        if (!s.Silent) ShowErrorBox("Installation log file not found!");
        return false;
    }

    s.PageWindow = nullptr;
    s.MainWindow = CreateMainWindow();
    OwnerWindow = s.MainWindow;
    TMainFlowCleanup cleanup;
    s.Log.reset(new TzrIniFile(s.LogPath, true));
    s.SectionLines.reset(new TStringList);
    s.KeptSharedFiles.reset(new TStringList);

    s.AppId = ReadStringsText("AppID", "");
    // A log that demands administrator rights is refused to anyone else,
    // with the box shown even in silent mode.
    if (ReadIniBool(s.LogPath, "Strings", "AdminRights", false) && !IsAdmin()) {
        ShowErrorBox(MessageText(3));
        return false;
    }

    s.UninstallKey = Format("%s%sUninstall\\%s", {"HKCU", kRegUninstallParent, s.AppId});
    if (ReadRegString(s.UninstallKey, "DisplayName", "").empty())
        s.UninstallKey = Format("%s%sUninstall\\%s", {"HKLM", kRegUninstallParent, s.AppId});
    s.SilentSettings = ReadRegString(s.UninstallKey, "SilentSettings", "");

    s.DialogFont = ReadLogTextDef("Display", "DialogFont", "MS Sans Serif,8");
    s.TitleFont = ReadLogTextDef("Display", "TitleFont", "MS Sans Serif,10,0,B");
    s.SubtitleFont = ReadLogTextDef("Display", "SubtitleFont", "MS Sans Serif,8");
    s.ShowTitle = FlagFromText(ReadLogTextDef("Display", "ShowTitle", "1"));
    s.ShowSubtitle = FlagFromText(ReadLogTextDef("Display", "ShowSubtitle", "1")) && s.ShowTitle;

    if (s.MainWindow) SetWindowTextA(s.MainWindow, MessageText(1).c_str());

    if (!s.Silent) {
        if (s.MainWindow) ShowWindow(s.MainWindow, SW_SHOW);
        if (RunWizard() != PAGE_NEXT) return false;
    }

    if (s.Mode == 0) {
        if (!RunUninstall()) return false;
        if (!s.Silent) {
            if (s.RebootNeeded) ShowPage("DLG_REBOOT");
            if (!s.RebootNeeded) ShowPage("DLG_UNINSTALLSUCCEEDED");
        }
        RemoveSelf();
    } else if (s.Mode == 1) {
        RepairHandOff();
    }
    return true;
}
