#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

// Writes back and releases every INI file in the cache when the section
// ends, also when an edit raised: a file that cannot be opened for editing
// ("Cannot open file %s") ends the run, and the files edited before it must
// not stay held open (read sharing only) while the error is shown. The
// cached install log goes too; the next read of the log loads it again.
struct TIniWriteBack {
    TIniWriteBack() = default;
    TIniWriteBack(const TIniWriteBack&) = delete;
    TIniWriteBack& operator=(const TIniWriteBack&) = delete;
    ~TIniWriteBack() {
        try {
            CloseAllIniFiles();
        } catch (...) {
        }
    }
};

}  // namespace

// AddIni: "file,section,key=old value". Each key gets its old value back,
// or goes when it had none; a file without folder lies in the Windows
// directory. The edits of one file reach it in one write, at the end.
void RemoveIniEntries() {
    TStringList& lines = *UninstallState.SectionLines;
    LoadSection("AddIni");
    // Without entries the cache, and the log in it, stay as they are.
    if (lines.Count() == 0) return;
    TIniWriteBack writeBack;
    const TCharSet comma = CharSet(",");
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string name = NamePart(lines[i]);
        const std::string file = GetField(1, name, comma);
        ShowStatus(MessageFormat(13, file));
        const std::string section = GetField(2, name, comma);
        const std::string key = GetField(3, name, comma);
        const std::string value = ValuePart(lines[i]);
        // An existing file that cannot be opened for editing raises here;
        // the worker ends the run with its message and the Uninstall key stays.
        if (!value.empty())
            WriteIniString(file, section, key, value);
        else
            DeleteIniKey(file, section, key);
        StepProgress();
    }
}
