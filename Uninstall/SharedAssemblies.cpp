#include "Uninstall.h"
#include "utils.h"
#include "zrShell.h"
#include "zrStrUtils.h"

void RemoveSharedAssemblies() {
    LoadSection("SharedAssemblies");
    const TStringList& lines = *UninstallState.SectionLines;
    std::string program = ModulePath();
    std::string tool = program.substr(0, program.rfind('\\') + 1) + "gacutil.exe";
    // Only an existing tool is started: handed to the shell, a missing one
    // would make ShellExecuteExA show its own error box on the worker thread,
    // which would hold up a silent run until someone answers it.
    DWORD attributes = GetFileAttributesA(tool.c_str());
    bool toolThere = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    for (int i = 0; i < lines.Count(); ++i) {
        std::string value = ValuePart(lines[i]);
        ShowStatus(MessageFormat(19, GetField(1, value, CharSet(","))));
        // The tool runs hidden and is awaited, one entry after the other; its
        // exit code says nothing the run acts on.
        if (toolThere) RunAndWait(nullptr, tool, "/ur " + value, "", SW_HIDE);
        StepProgress();
    }
}
