// The Uninstall program: its state, the driver, the undo processors and the
// main window. Routines are grouped by the file that owns them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "zrIniFile.h"
#include "zrRtl.h"

// Page results, held in WorkerResult.
const int PAGE_BACK = 101;
const int PAGE_NEXT = 102;
const int PAGE_CANCEL = 103;

// The one record of program-wide state.
struct TUninstallState {
    std::string ExeDir;          // folder of the program file, with a final "\"
    std::string LogPath;         // full path of the install log; empty: none found
    std::unique_ptr<TzrIniFile> Log;  // the log in memory, for counting entries
    std::string AppId;
    std::string UninstallKey;    // registry path of the product's Uninstall key
    std::string SilentSettings;  // file named by the key's "SilentSettings"
    bool Silent = false;
    int Mode = 0;                // 0 uninstall, 1 repair, 2 nothing chosen
    volatile bool RebootNeeded = false;
    bool RemoveDataFiles = false;
    HWND MainWindow = nullptr;
    HWND PageWindow = nullptr;
    std::string PageName;
    HWND LastPageWindow = nullptr;
    int StageIndex = 0;
    int StepsDone = 0;
    int StepsTotal = 0;
    std::unique_ptr<TStringList> SectionLines;
    std::unique_ptr<TStringList> KeptSharedFiles;
    HANDLE WorkerThread = nullptr;  // owned by RunUninstall while it runs
    volatile LONG WorkerResult = 0;
    std::string SetupPath;
    std::string DialogFont;
    std::string TitleFont;
    std::string SubtitleFont;
    bool ShowTitle = false;
    bool ShowSubtitle = false;
    std::string SharedFilePrompt;
    bool Succeeded = false;
};

extern TUninstallState UninstallState;

// ------------------------------------------------------------------ Main.cpp
bool MainFlow();
std::string FindInstallLog();
bool IsInstallLog(const std::string& path);
bool FlagFromText(const std::string& text);

// -------------------------------------------------------------- LogTexts.cpp
std::string ReadLogText(const std::string& section, const std::string& key, const std::string& def);
std::string ReadLogTextDef(const std::string& section, const std::string& key, const std::string& def);
std::string ReadStringsText(const std::string& key, const std::string& def);
std::string MessageText(int n);
// Numbered message n as a template filled with one argument; a template the
// formatter cannot fill is shown as it stands.
std::string MessageFormat(int n, const std::string& arg);

// ---------------------------------------------------------- UninstallRun.cpp
bool RunUninstall();
DWORD UninstallWorker();
int CountSectionEntries(const std::string& name);
void LoadSection(const std::string& name);
std::string EntryKey(const std::string& line);
void ShowStatus(const std::string& text);
void StepProgress();
void NextStage();
int ProgressPosition(int done, int total);  // percent, a half rounded to even

// ------------------------------------------------------- FilesAndFolders.cpp
void DeleteFilesByMask(const std::string& mask);
void RemoveFiles();
void RemoveFolders();
// A folder no log entry may delete wholesale: not fully qualified, a drive
// or share root, or a system, profile or shell folder.
bool IsProtectedFolder(const std::string& folder);

// ------------------------------------------------------------- Shortcuts.cpp
void RemoveShortcuts();
// The extension is the text from the last "." after the last "\" or ":".
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// ----------------------------------------------------------- ProgramRuns.cpp
// PreRunApp (true) or RunApp (false); false when an entry failed.
bool RunProgramSection(bool beforeUninstall);
bool RunProgramEntry(const std::string& value);  // the seven comma-separated fields of one entry

// ------------------------------------------------------- RegistryEntries.cpp
void RemoveRegistryEntries();  // AddReg, then CreateKeys

// ------------------------------------------------------------ IniEntries.cpp
void RemoveIniEntries();

// ----------------------------------------------------- EnvironmentEntries.cpp
void RemoveEnvVars();
std::string NormalizePathList(const std::string& list);  // trimmed items, no empty one, none twice

// ----------------------------------------------------------- SharedFiles.cpp
void ReleaseSharedFiles();
int AskDeleteShared(const std::string& fileName);  // 6, 7, 9 or 10; 10 at once when Silent
bool IsSharedFileKept(const std::string& path);  // a KeptSharedFiles line names it (text before the last "=")

// ------------------------------------------------------ SharedAssemblies.cpp
void RemoveSharedAssemblies();

// ----------------------------------------------------------------- Fonts.cpp
void RemoveFonts();

// ------------------------------------------------------------ ComServers.cpp
void UnregisterServers();

// ---------------------------------------------------------------- Finish.cpp
void RepairHandOff();
void RemoveSelf();

// ------------------------------------------------------------ MainWindow.cpp
HWND CreateMainWindow();
int RunWizard();
int ShowPage(const std::string& name);
void ClosePreviousPage();

// ---------------------------------------------------------- PageDressing.cpp
// Caption, title, subtitle and control texts from [Dialog.<name>] of the log.
void LoadDialogTexts(HWND dialog, const std::string& name);
