#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

const int ID_TITLE = 400;
const int ID_SUBTITLE = 401;

}  // namespace

void LoadDialogTexts(HWND dialog, const std::string& name) {
    std::string section = "Dialog." + name;
    SetWindowTextA(dialog, ReadLogText(section, "Caption", "").c_str());
    // A dialog without a title or subtitle control is left as it is.
    if (GetDlgItem(dialog, ID_TITLE)) SetDlgItemTextA(dialog, ID_TITLE, ReadLogText(section, "Title", "").c_str());
    if (GetDlgItem(dialog, ID_SUBTITLE))
        SetDlgItemTextA(dialog, ID_SUBTITLE, ReadLogText(section, "Subtitle", "").c_str());

    // Every numeric key names a control. Keys that are not numbers (Caption,
    // Title, Subtitle) name none; an ID the dialog lacks changes nothing.
    TStringList lines;
    ReadIniSectionValues(UninstallState.LogPath, section, lines);
    for (int i = 0; i < lines.Count(); ++i) {
        int id = StrToIntDef(NamePart(lines[i]), 0);
        if (id == 0) continue;
        SetDlgItemTextA(dialog, id, StrReplaceAll(ValuePart(lines[i]), "||", "\r").c_str());
    }
}
