#include "Uninstall.h"
#include "zrFileUtils.h"

namespace {

size_t ExtensionStart(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t folder = path.find_last_of("\\:");
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return path.size();
    return dot;
}

}  // namespace

std::string ExtractFileExt(const std::string& path) { return path.substr(ExtensionStart(path)); }

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    return path.substr(0, ExtensionStart(path)) + ext;
}

void RemoveShortcuts() {
    TStringList& lines = *UninstallState.SectionLines;
    LoadSection("Shortcuts");
    for (int i = 0; i < lines.Count(); ++i) {
        std::string key = EntryKey(lines[i]);
        ShowStatus(MessageFormat(14, key));
        // The shell link and the program information file of the same name;
        // a shortcut that cannot go stays, nothing waits for a restart.
        DeleteFileNow(ChangeFileExt(key, ".lnk"));
        DeleteFileNow(ChangeFileExt(key, ".pif"));
        StepProgress();
    }
}
