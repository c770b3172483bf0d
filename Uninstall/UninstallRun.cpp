#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "Uninstall.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrRegIni.h"

namespace {

// Exit codes of the worker: 0 every stage ran, 1 a program run failed,
// 2 an exception ended it (its message is in WorkerFailure).
const DWORD WORKER_DONE = 0;
const DWORD WORKER_RUN_FAILED = 1;
const DWORD WORKER_EXCEPTION = 2;

std::string WorkerFailure;  // written by the worker before it ends, read after

const int ID_STATUS = 105;
const int ID_PROGRESS = 106;
const int ID_ICON_RUNNING = 301;
const int ID_ICON_DONE = 302;

void ShowStageIcon(int id) {
    if (!UninstallState.Silent) ShowWindow(GetDlgItem(UninstallState.PageWindow, id), SW_SHOW);
}

DWORD RunStages() {
    TUninstallState& s = UninstallState;
    s.StageIndex = 0;
    s.StepsDone = 0;
    int total = 0;
    for (const char* name : {"PreRunApp", "SharedAssemblies", "Shortcuts", "AddReg", "CreateKeys", "AddIni",
                             "EnvVars", "RegFonts", "RegServers", "CopyFiles", "CreateDirs", "RunApp"})
        total += CountSectionEntries(name);
    if (s.RemoveDataFiles) total += CountSectionEntries("DataFiles") + CountSectionEntries("DataFolders");
    s.StepsTotal = total;

    if (!s.Silent) {
        ShowStageIcon(ID_ICON_RUNNING);
        SendDlgItemMessageA(s.PageWindow, ID_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendDlgItemMessageA(s.PageWindow, ID_PROGRESS, PBM_SETSTEP, 1, 0);
    }

    if (!RunProgramSection(true)) return WORKER_RUN_FAILED;
    ReleaseSharedFiles();
    RemoveSharedAssemblies();
    NextStage();

    RemoveShortcuts();
    NextStage();

    RemoveRegistryEntries();
    RemoveIniEntries();
    RemoveEnvVars();
    NextStage();

    RemoveFonts();
    NextStage();

    UnregisterServers();
    NextStage();

    RemoveFiles();
    RemoveFolders();
    NextStage();

    if (!RunProgramSection(false)) return WORKER_RUN_FAILED;
    NextStage();
    return WORKER_DONE;
}

DWORD WINAPI WorkerThreadProc(LPVOID) { return UninstallWorker(); }

}  // namespace

int ProgressPosition(int done, int total) {
    // done / total * 100 rounded to the nearest integer, a half to the even
    // neighbour, computed exactly: 1 of 8 gives 12, 3 of 8 gives 38.
    long long scaled = static_cast<long long>(done) * 100;
    long long q = scaled / total, r = scaled % total;
    if (2 * r > total || (2 * r == total && (q & 1))) ++q;
    return static_cast<int>(q);
}

int CountSectionEntries(const std::string& name) {
    TSectionList& sections = UninstallState.Log->Sections;
    int index = sections.IndexOf(name);
    return index < 0 ? 0 : sections.Lines(index)->Count();
}

void LoadSection(const std::string& name) {
    TStringList& lines = *UninstallState.SectionLines;
    lines.BeginUpdate();
    lines.Clear();
    ReadIniSectionValues(UninstallState.LogPath, name, lines);
    lines.EndUpdate();
}

std::string EntryKey(const std::string& line) {
    size_t eq = line.rfind('=');
    return eq == std::string::npos ? line : line.substr(0, eq);
}

void ShowStatus(const std::string& text) {
    if (!UninstallState.Silent) SetWindowTextA(GetDlgItem(UninstallState.PageWindow, ID_STATUS), text.c_str());
}

void StepProgress() {
    TUninstallState& s = UninstallState;
    ++s.StepsDone;
    if (!s.Silent && s.StepsTotal > 0)
        SendDlgItemMessageA(s.PageWindow, ID_PROGRESS, PBM_SETPOS, ProgressPosition(s.StepsDone, s.StepsTotal), 0);
}

void NextStage() {
    TUninstallState& s = UninstallState;
    ShowStageIcon(ID_ICON_DONE + 3 * s.StageIndex);
    if (s.StageIndex >= 6) return;
    ++s.StageIndex;
    ShowStageIcon(ID_ICON_RUNNING + 3 * s.StageIndex);
}

DWORD UninstallWorker() {
    CoInitialize(nullptr);
    DWORD exitCode = WORKER_RUN_FAILED;
    try {
        exitCode = RunStages();
    } catch (const std::exception& e) {
        WorkerFailure = e.what();
        exitCode = WORKER_EXCEPTION;
    } catch (...) {
        WorkerFailure = "Unexpected error during the uninstall";
        exitCode = WORKER_EXCEPTION;
    }
    CoUninitialize();
    InterlockedExchange(&UninstallState.WorkerResult, PAGE_NEXT);
    return exitCode;
}

bool RunUninstall() {
    TUninstallState& s = UninstallState;
    TKernelHandle thread(CreateThread(nullptr, 0, WorkerThreadProc, nullptr, CREATE_SUSPENDED, nullptr));
    if (!thread) return false;
    s.WorkerThread = thread.Get();
    if (s.Silent)
        ResumeThread(thread.Get());
    else
        ShowPage("DLG_UNINSTALL");  // the page resumes the worker once it is visible

    DWORD exitCode = STILL_ACTIVE;
    do {
        PumpMessages();
        if (!GetExitCodeThread(thread.Get(), &exitCode)) exitCode = WORKER_RUN_FAILED;
    } while (exitCode == STILL_ACTIVE);
    s.WorkerThread = nullptr;

    if (exitCode == WORKER_EXCEPTION) throw Exception(WorkerFailure);
    if (exitCode != WORKER_DONE) return false;

    // A key path ending in "\" would name the Uninstall key of every product.
    if (!s.AppId.empty() && s.AppId.find('\\') == std::string::npos) DeleteRegKey(s.UninstallKey, true);
    if (!s.LogPath.empty()) DeleteFileNow(s.LogPath);
    if (!s.SilentSettings.empty()) DeleteFileNow(s.SilentSettings);
    return true;
}
