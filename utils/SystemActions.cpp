#include "utils.h"

#include "zrFileUtils.h"
#include "zrRtl.h"
#include "zrStrUtils.h"

// About three minutes: each try of the batch file is followed by a pause of
// about a second.
const int SelfDeleteRetries = 180;

namespace {

// The folder part of path: up to and including its last "\" or ":" that is a
// character of its own (a DBCS trail byte can be 0x5C); empty when there is
// none.
std::string FolderPart(const std::string& path) {
    size_t end = 0;
    const char* start = path.c_str();
    const char* stop = start + path.size();
    for (const char* p = start; p < stop;) {
        if (*p == '\\' || *p == ':') end = static_cast<size_t>(p - start) + 1;
        const char* next = CharNextA(p);
        p = next > p ? next : p + 1;  // CharNextA stays put on a zero byte
    }
    return path.substr(0, end);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

bool ExitWindowsWithPrivilege(UINT flags) {
    // The NT family refuses ExitWindowsEx for a shutdown, restart or power-off
    // unless SeShutdownPrivilege is enabled in the process token; a log-off
    // needs no privilege, and the token is then left alone.
    if (IsWinNT() && (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0) {
        TKernelHandle token;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
            TOKEN_PRIVILEGES privileges = {};
            if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
                privileges.PrivilegeCount = 1;
                privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
                if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
            }
        }
    }
    return ExitWindowsEx(flags, 0) != 0;
}

bool RestartWindows(bool force) { return ExitWindowsWithPrivilege(EWX_REBOOT | (force ? EWX_FORCE : 0)); }

void WriteSelfDeleteBatch(const std::string& path, const std::string& exe, const std::string& folder,
                          bool removeFolder, int retries) {
    std::vector<std::string> lines;
    if (retries > 0) {
        // A program file that cannot be deleted for another reason than being
        // in use (a read-only file, denied access, a read-only medium) would
        // keep the plain loop below running for good; cmd counts the tries
        // and pauses about a second between them (ping waits a second
        // between its echoes; timeout and choice are missing on older NT).
        lines = {"set /a zrtries=0",
                 ":try",
                 "del " + Quoted(exe),
                 "if not exist " + Quoted(exe) + " goto gone",
                 "set /a zrtries=zrtries+1",
                 "ping -n 2 127.0.0.1 >nul",
                 "if %zrtries% lss " + std::to_string(retries) + " goto try",
                 ":gone"};
    } else {
        // command.com of the 9x family cannot count: it loops until the
        // program has ended.
        lines = {":try", "del " + Quoted(exe), "if exist " + Quoted(exe) + " goto try"};
    }
    if (removeFolder) lines.push_back("rd " + Quoted(folder));
    lines.push_back("del " + Quoted(path));

    std::string text;
    for (const std::string& line : lines) text += StrToOem(line) + "\r\n";

    TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        DWORD error = GetLastError();
        throw EInOutError(Format("Cannot create file %s", {path}), error);
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        DWORD error = GetLastError();
        throw EInOutError(Format("Cannot write file %s", {path}), error);
    }
}

void DeleteSelf(bool removeFolder) {
    std::string exe = ModulePath();
    std::string folder = RemoveBackslash(FolderPart(exe));
    std::string parent = AddBackslash(FolderPart(folder));
    // The batch file lies beside the program's folder, so that it is not in
    // the way when that folder is removed.
    std::string batch = parent + UniqueFileName(parent, "", ".bat", true);
    // A program lying in a drive root has no folder of its own to remove.
    bool folderOfItsOwn = AddBackslash(folder) != parent;
    WriteSelfDeleteBatch(batch, exe, folder, removeFolder && folderOfItsOwn, IsWinNT() ? SelfDeleteRetries : 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    std::string commandLine = Quoted(batch);
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                       parent.c_str(), &startup, &process)) {
        TKernelHandle processHandle(process.hProcess);
        TKernelHandle threadHandle(process.hThread);
    }
}
