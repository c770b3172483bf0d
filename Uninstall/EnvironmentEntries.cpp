#include "Uninstall.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrStrUtils.h"

// The items are the words between semicolons, trimmed of blanks and control
// characters. An item is dropped when it, or its short (8.3) form, is already
// among the items taken, letter case ignored; only the new item's short form
// is compared, with the forms taken as written.
std::string NormalizePathList(const std::string& list) {
    const TCharSet semicolons = CharSet(";");
    std::string result;
    int count = CountWords(list, semicolons);
    for (int i = 1; i <= count; ++i) {
        std::string item = Trim(GetWord(i, list, semicolons));
        if (item.empty()) continue;
        if (HasWord(item, result, semicolons, false) || HasWord(ShortPathName(item), result, semicolons, false))
            continue;
        if (!result.empty()) result += ';';
        result += item;
    }
    return result;
}

// Each entry is "name=scope,added": scope "1" is the machine's variable, any
// other the user's; added is the semicolon list of what the installer put
// into the variable. Without a list the variable is deleted.
void RemoveEnvVars() {
    TStringList& lines = *UninstallState.SectionLines;
    const TCharSet commas = CharSet(","), semicolons = CharSet(";");
    LoadSection("EnvVars");
    for (int i = 0; i < lines.Count(); ++i) {
        std::string name = NamePart(lines[i]), rest = ValuePart(lines[i]);
        bool systemWide = GetWord(1, rest, commas) == "1";
        std::string added = NormalizePathList(GetWord(2, rest, commas));
        ShowStatus(MessageFormat(20, name));
        std::string remaining;
        if (!added.empty()) {
            // The present value is written back normalized, also when none of
            // the added items is in it.
            std::string present = NormalizePathList(ReadEnvVar(name, systemWide));
            int count = CountWords(present, semicolons);
            for (int n = 1; n <= count; ++n) {
                std::string item = GetWord(n, present, semicolons);
                if (HasWord(item, added, semicolons, false)) continue;
                if (!remaining.empty()) remaining += ';';
                remaining += item;
            }
        }
        // An empty value deletes the variable.
        WriteEnvVar(name, remaining, systemWide);
        StepProgress();
    }
    if (lines.Count() == 0) return;
    if (IsWinNT()) {
        // One broadcast for the whole section tells the running programs
        // (the shell first) to reread the environment keys. It reaches every
        // top-level window, this program's own included; SMTO_ABORTIFHUNG and
        // the time-out keep a hung window from holding up the worker.
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                            SMTO_ABORTIFHUNG, 5000, &answer);
    } else {
        // autoexec.bat takes effect only when Windows starts again.
        UninstallState.RebootNeeded = true;
    }
}
