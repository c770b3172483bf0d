#include "Uninstall.h"
#include "utils.h"

// Each entry's key is the path of a COM server or type library file. The
// outcome of each unregistration is the server's own business: a missing
// file, one that cannot be loaded or a failing DllUnregisterServer is passed
// over.
void UnregisterServers() {
    const TStringList& lines = *UninstallState.SectionLines;
    LoadSection("RegServers");
    for (int i = 0; i < lines.Count(); ++i) {
        std::string path = EntryKey(lines[i]);
        if (!IsSharedFileKept(path)) {
            ShowStatus(MessageFormat(16, path));
            UnregisterFile(path);
        }
        StepProgress();
    }
}
