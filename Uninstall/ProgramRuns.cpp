#include <windows.h>

#include <shellapi.h>

#include "Uninstall.h"
#include "zrShell.h"
#include "zrStrUtils.h"

namespace {

// Window mode of an entry (0 hidden, 1 normal, 2 maximised, 3 minimised
// without activation) as a show command; anything else opens normal.
int ShowCommand(int mode) {
    switch (mode) {
        case 0: return SW_HIDE;
        case 2: return SW_SHOWMAXIMIZED;
        case 3: return SW_SHOWMINNOACTIVE;
        default: return SW_SHOWNORMAL;
    }
}

}  // namespace

bool RunProgramEntry(const std::string& value) {
    const TCharSet comma = CharSet(",");
    std::string fileName = Unquote(GetField(1, value, comma), '"');
    std::string parameters = GetField(2, value, comma);
    std::string directory = GetField(3, value, comma);
    int showCmd = ShowCommand(StrToIntDef(GetField(4, value, comma), 1));
    std::string status = Unquote(GetField(5, value, comma), '"');
    bool wait = StrToIntDef(GetField(6, value, comma), 1) != 0;
    bool checkExitCode = StrToIntDef(GetField(7, value, comma), 1) != 0;

    ShowStatus(status);
    HWND owner = UninstallState.MainWindow;
    if (wait) {
        int code = RunAndWait(owner, fileName, parameters, directory, showCmd);
        return !checkExitCode || code == 0;
    }
    // Without a name ShellExecuteA has nothing to start.
    if (fileName.empty()) return false;
    HINSTANCE started =
        ShellExecuteA(owner, nullptr, fileName.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                      directory.empty() ? nullptr : directory.c_str(), showCmd);
    // ShellExecuteA reports success as a value above 32, errors as 0 to 32.
    return reinterpret_cast<INT_PTR>(started) > 32;
}

bool RunProgramSection(bool beforeUninstall) {
    LoadSection(beforeUninstall ? "PreRunApp" : "RunApp");
    const TStringList& lines = *UninstallState.SectionLines;
    for (int i = 0; i < lines.Count(); ++i) {
        // The first failure ends the section: its entry is not counted and
        // the entries after it are not run.
        if (!RunProgramEntry(ValuePart(lines[i]))) return false;
        StepProgress();
    }
    return true;
}
