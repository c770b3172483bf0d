#include "zrShell.h"

#include <shellapi.h>
#include <shlobj.h>

#include <memory>

#include "utils.h"
#include "zrRtl.h"
#include "zrStrUtils.h"

namespace {

// An item identifier list from the shell, given back with CoTaskMemFree.
struct TItemIdListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};
using TItemIdList = std::unique_ptr<ITEMIDLIST, TItemIdListFree>;

// The extension of the file-name part, dot included, in lower case.
std::string LowerExtension(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    size_t folder = fileName.find_last_of("\\/:");
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return std::string();
    return AnsiLowerCase(fileName.substr(dot));
}

bool IsExistingFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool StartsDirectly(const std::string& fileName) {
    std::string ext = LowerExtension(fileName);
    return (ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".pif" || ext == ".lnk") &&
           IsExistingFile(fileName);
}

TKernelHandle StartProcess(const std::string& fileName, const std::string& parameters,
                           const std::string& directory, int showCmd) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCmd);
    std::string folder = Trim(Unquote(directory, '"'));
    // Trimmed, so empty parameters leave no blank behind the program name.
    std::string commandLine = Trim("\"" + Unquote(fileName, '"') + "\" " + parameters);
    PROCESS_INFORMATION info{};
    // CreateProcessA may write into its command line: it gets a copy of its own.
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return TKernelHandle();
    TKernelHandle thread(info.hThread);
    return TKernelHandle(info.hProcess);
}

TKernelHandle StartThroughShell(HWND owner, const std::string& fileName, const std::string& parameters,
                                const std::string& directory, int showCmd) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = owner;
    info.lpFile = fileName.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = showCmd;
    // hProcess stays empty when the shell handed the file to a program that
    // was already running: there is then nothing to wait for.
    if (!ShellExecuteExA(&info)) return TKernelHandle();
    return TKernelHandle(info.hProcess);
}

}  // namespace

int RunAndWait(HWND owner, const std::string& fileName, const std::string& parameters,
               const std::string& directory, int showCmd) {
    // An empty name has nothing to start; the shell is not asked to guess.
    if (Trim(fileName).empty()) return -1;
    TKernelHandle process = StartsDirectly(fileName)
                                ? StartProcess(fileName, parameters, directory, showCmd)
                                : StartThroughShell(owner, fileName, parameters, directory, showCmd);
    if (!process) return -1;

    // Short waits with this thread's queue drained in between, so windows
    // of the calling thread stay alive; a failed wait must not spin forever.
    DWORD wait;
    do {
        wait = WaitForSingleObject(process.Get(), 100);
        PumpMessages();
    } while (wait == WAIT_TIMEOUT);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) return 0;
    return static_cast<int>(exitCode);
}

std::string SpecialFolderPath(int csidl) {
    TItemIdList list;
    {
        LPITEMIDLIST raw = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &raw))) return std::string();
        list.reset(raw);
    }
    char path[MAX_PATH] = {};
    if (!list || !SHGetPathFromIDListA(list.get(), path)) return std::string();
    return path;
}

std::string SpecialFolder(TSpecialFolder kind) {
    struct TKindFolders {
        int Folder;
        int Fallback;  // -1: none
    };
    static const TKindFolders kinds[] = {
        {CSIDL_DESKTOPDIRECTORY, -1},
        {CSIDL_FONTS, -1},
        {CSIDL_NETHOOD, -1},
        {CSIDL_PERSONAL, -1},
        {CSIDL_PROGRAMS, -1},
        {CSIDL_RECENT, -1},
        {CSIDL_SENDTO, -1},
        {CSIDL_STARTMENU, -1},
        {CSIDL_STARTUP, -1},
        {CSIDL_TEMPLATES, -1},
        {CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU},
        {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS},
        {CSIDL_COMMON_STARTUP, CSIDL_STARTUP},
        {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY},
    };
    const TKindFolders& folders = kinds[static_cast<int>(kind)];
    std::string path = SpecialFolderPath(folders.Folder);
    if (path.empty() && folders.Fallback >= 0) path = SpecialFolderPath(folders.Fallback);
    return path;
}
