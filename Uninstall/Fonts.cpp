#include <windows.h>

#include "Uninstall.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

const char kFontsKeyNT[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
const char kFontsKey9x[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts\\";

// How long the broadcast waits for one window.
const UINT FONT_CHANGE_TIMEOUT_MS = 5000;

bool IsExistingFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveFont(const std::string& fontsKey, const std::string& name, const std::string& file) {
    ShowStatus(MessageFormat(17, name));
    // GDI keeps a font file it holds open: the resource goes first, then the
    // file. A font Windows did not hold makes RemoveFontResourceA fail; no
    // matter.
    RemoveFontResourceA(file.c_str());
    if (IsExistingFile(file) && !DeleteFileNow(file)) {
        DeleteFileAtRestart(file);
        UninstallState.RebootNeeded = true;
    }
    // An empty name would be the key's default value, which no font owns.
    if (!name.empty()) DeleteRegValue(fontsKey, name);
    // SendMessageA to HWND_BROADCAST waits for every top-level window without
    // end: one hung window would hold up the whole uninstall. SMTO_ABORTIFHUNG
    // and the time-out let the worker go on.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, FONT_CHANGE_TIMEOUT_MS, &answer);
}

}  // namespace

// Each entry is "name=file": the font's value name under the Fonts key and
// the path of its file. A file that the shared-file processor kept (looked
// up by the file, not the font name) is left alone, but still counts a step.
void RemoveFonts() {
    TUninstallState& s = UninstallState;
    TStringList& lines = *s.SectionLines;
    LoadSection("RegFonts");
    if (lines.Count() == 0) return;
    const std::string fontsKey = IsWinNT() ? kFontsKeyNT : kFontsKey9x;
    for (int i = 0; i < lines.Count(); ++i) {
        std::string file = ValuePart(lines[i]);
        if (!IsSharedFileKept(file)) RemoveFont(fontsKey, NamePart(lines[i]), file);
        StepProgress();
    }
}
