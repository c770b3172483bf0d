#include <cstdint>

#include "Uninstall.h"
#include "resource.h"
#include "utils.h"
#include "zrRegIni.h"

namespace {

// One value per shared file, named by its full path, holding the number of
// installed products that use it (REG_DWORD). A missing value counts as 1.
const char kSharedDlls[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\";

// Answers of the prompt, the codes of the usual Yes/No/Yes-to-all/No-to-all.
const int ANSWER_DELETE = 6;
const int ANSWER_KEEP = 7;
const int ANSWER_KEEP_ALL = 9;
const int ANSWER_DELETE_ALL = 10;

// The text of a log line up to its last "=": the file the line names, also
// when the path itself holds an "=".
bool NamesFile(const std::string& line, const std::string& path) { return SameText(EntryKey(line), path); }

bool ListedInCopyFiles(const std::string& path) {
    const TStringList& lines = *UninstallState.SectionLines;
    for (int i = 0; i < lines.Count(); ++i)
        if (NamesFile(lines[i], path)) return true;
    return false;
}

INT_PTR CALLBACK DelSharedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        try {
            LoadDialogTexts(dialog, "DLG_DELSHARED");
            const std::string& path = UninstallState.SharedFilePrompt;
            size_t cut = path.find_last_of("\\:");
            size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
            SetDlgItemTextA(dialog, IDC_DELSHARED_NAME, path.substr(nameStart).c_str());
            SetDlgItemTextA(dialog, IDC_DELSHARED_FOLDER, path.substr(0, nameStart).c_str());
        } catch (...) {
            // No exception may leave a dialog procedure: the prompt is then
            // shown with what could be filled in.
        }
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DELSHARED_YES:
            EndDialog(dialog, ANSWER_DELETE);
            return TRUE;
        case IDC_DELSHARED_YESTOALL:
            EndDialog(dialog, ANSWER_DELETE_ALL);
            return TRUE;
        case IDC_DELSHARED_NO:
        case IDCANCEL:  // Escape
            EndDialog(dialog, ANSWER_KEEP);
            return TRUE;
        case IDC_DELSHARED_NOTOALL:
            EndDialog(dialog, ANSWER_KEEP_ALL);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int AskDeleteShared(const std::string& fileName) {
    if (UninstallState.Silent) return ANSWER_DELETE_ALL;
    UninstallState.SharedFilePrompt = fileName;
    // Shown by the worker thread with a modal loop of its own; its owner, the
    // progress page, belongs to the main thread, which keeps pumping.
    // DialogBoxParamA gives -1 (or 0) when the dialog cannot be made.
    return static_cast<int>(
        DialogBoxParamA(GetModuleHandleA(nullptr), "DLG_DELSHARED", OwnerWindow, DelSharedProc, 0));
}

bool IsSharedFileKept(const std::string& path) {
    const TStringList& kept = *UninstallState.KeptSharedFiles;
    for (int i = 0; i < kept.Count(); ++i)
        if (NamesFile(kept[i], path)) return true;
    return false;
}

void ReleaseSharedFiles() {
    TUninstallState& s = UninstallState;
    TStringList& kept = *s.KeptSharedFiles;
    kept.Clear();
    ReadIniSectionValues(s.LogPath, "SharedFiles", kept);
    if (kept.Count() == 0) return;
    LoadSection("CopyFiles");

    int answer = 0;  // 9 or 10 once the user has answered for every further file
    int i = 0;
    while (i < kept.Count()) {
        std::string path = EntryKey(kept[i]);
        ShowStatus(MessageFormat(18, path));
        // A shared file this product did not copy is not ours to count down
        // or offer for deletion; it stays protected.
        if (!ListedInCopyFiles(path)) {
            ++i;
            continue;
        }
        auto count = static_cast<std::int32_t>(ReadRegDWord(kSharedDlls, path, 1));
        if (count > 1) {
            WriteRegDWord(kSharedDlls, path, static_cast<DWORD>(count - 1));
            ++i;
            continue;
        }
        if (answer != ANSWER_KEEP_ALL && answer != ANSWER_DELETE_ALL) answer = AskDeleteShared(path);
        if (answer == ANSWER_DELETE || answer == ANSWER_DELETE_ALL) {
            DeleteRegValue(kSharedDlls, path);
            kept.Delete(i);  // the next line moves up to i
        } else {
            // 7, 9, and a prompt that could not be shown: the file stays and
            // its counter is left as it is.
            ++i;
        }
    }
}
