#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "Uninstall.h"
#include "utils.h"
#include "zrFileFind.h"
#include "zrFileUtils.h"
#include "zrStrUtils.h"

namespace {

const DWORD ATTR_ANY = 0;                  // becomes "every attribute"
const DWORD ATTR_FOLDER_OR_VOLUME = 24;    // folders and volume labels

bool HasWildcards(const std::string& path) {
    size_t name = path.find_last_of("\\:");
    return path.find_first_of("*?", name == std::string::npos ? 0 : name + 1) != std::string::npos;
}

// The absolute, long form of a folder, without a final backslash, in upper
// case, for comparisons; empty when it cannot be made.
std::string ComparablePath(const std::string& path) {
    char full[MAX_PATH];
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, &filePart);
    if (n == 0 || n >= MAX_PATH) return std::string();
    std::string result(full, n);
    char longPath[MAX_PATH];
    n = GetLongPathNameA(result.c_str(), longPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH) result.assign(longPath, n);
    while (result.size() > 3 && result.back() == '\\') result.pop_back();
    return AnsiUpperCase(result);
}

// "C:\..." or "\\server\share\...", and nothing else (no "\\?\" or "\\.\").
bool IsFullyQualified(const std::string& path) {
    if (path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\')
        return true;
    if (path.size() < 5 || path.compare(0, 2, "\\\\") != 0 || path[2] == '?' || path[2] == '.') return false;
    size_t share = path.find('\\', 2);
    return share != std::string::npos && share > 2 && share + 1 < path.size() && path[share + 1] != '\\';
}

// A drive root ("C:\") or a share root ("\\server\share").
bool IsRoot(const std::string& comparable) {
    if (comparable.size() <= 3 && comparable.size() >= 2 && comparable[1] == ':') return true;
    if (comparable.compare(0, 2, "\\\\") != 0) return false;
    size_t share = comparable.find('\\', 2);
    return share == std::string::npos || comparable.find('\\', share + 1) == std::string::npos;
}

// The folders of Windows, of the system, of programs, of user profiles and of
// the shell, as comparable paths; read once.
const std::vector<std::string>& ProtectedFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> list;
        auto add = [&list](const std::string& path) {
            std::string comparable = path.empty() ? std::string() : ComparablePath(path);
            if (!comparable.empty()) list.push_back(comparable);
        };
        add(WindowsDirectory());
        char buffer[MAX_PATH];
        UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH) add(std::string(buffer, n));
        for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles",
                                 "CommonProgramFiles(x86)", "SystemRoot", "windir", "USERPROFILE", "ALLUSERSPROFILE",
                                 "PUBLIC", "ProgramData", "APPDATA", "LOCALAPPDATA", "TEMP", "TMP"}) {
            DWORD size = GetEnvironmentVariableA(name, buffer, MAX_PATH);
            if (size > 0 && size < MAX_PATH) add(std::string(buffer, size));
        }
        const int specialFolders[] = {
            CSIDL_DESKTOP, CSIDL_PROGRAMS, CSIDL_PERSONAL, CSIDL_FAVORITES, CSIDL_STARTUP, CSIDL_RECENT,
            CSIDL_SENDTO, CSIDL_STARTMENU, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_DESKTOPDIRECTORY, CSIDL_NETHOOD,
            CSIDL_FONTS, CSIDL_TEMPLATES, CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP,
            CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_APPDATA, CSIDL_PRINTHOOD, CSIDL_LOCAL_APPDATA, CSIDL_ALTSTARTUP,
            CSIDL_COMMON_ALTSTARTUP, CSIDL_COMMON_FAVORITES, CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY,
            CSIDL_COMMON_APPDATA, CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_MYPICTURES, CSIDL_PROFILE,
            CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
            CSIDL_COMMON_TEMPLATES, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_ADMINTOOLS, CSIDL_ADMINTOOLS,
            CSIDL_COMMON_MUSIC, CSIDL_COMMON_PICTURES, CSIDL_COMMON_VIDEO, CSIDL_RESOURCES, CSIDL_CDBURN_AREA};
        for (int csidl : specialFolders)
            if (SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) add(buffer);
        return list;
    }();
    return folders;
}

// Whether folder is the same as or holds the protected folder.
bool ContainsOrEquals(const std::string& folder, const std::string& protectedFolder) {
    if (protectedFolder.compare(0, folder.size(), folder) != 0) return false;
    return protectedFolder.size() == folder.size() || folder.back() == '\\' ||
           protectedFolder[folder.size()] == '\\';
}

void DeleteFoundFile(const std::string& path) {
    ShowStatus(MessageFormat(10, path));
    if (!DeleteFileNow(path)) {
        DeleteFileAtRestart(path);
        UninstallState.RebootNeeded = true;
    }
}

}  // namespace

bool IsProtectedFolder(const std::string& folder) {
    if (!IsFullyQualified(folder)) return true;
    std::string comparable = ComparablePath(folder);
    if (comparable.empty() || IsRoot(comparable)) return true;
    for (const std::string& protectedFolder : ProtectedFolders())
        if (ContainsOrEquals(comparable, protectedFolder)) return true;
    return false;
}

void DeleteFilesByMask(const std::string& mask) {
    // A wildcard in a system or shell folder would sweep up what is not ours.
    if (HasWildcards(mask) && IsProtectedFolder(ExtractFilePath(mask))) return;
    TSearchRecEx rec;
    TFindScope scope(rec);
    for (DWORD found = FindFirstEx(mask, ATTR_ANY, ATTR_FOLDER_OR_VOLUME, rec); found == 0; found = FindNextEx(rec))
        DeleteFoundFile(rec.FullName);
}

void RemoveFiles() {
    TUninstallState& s = UninstallState;
    TStringList& lines = *s.SectionLines;
    if (s.RemoveDataFiles) {
        LoadSection("DataFiles");
        for (int i = 0; i < lines.Count(); ++i) {
            DeleteFilesByMask(EntryKey(lines[i]));
            StepProgress();
        }
    }
    LoadSection("CopyFiles");
    for (int i = 0; i < lines.Count(); ++i) {
        std::string key = EntryKey(lines[i]);
        if (!IsSharedFileKept(key)) {
            DeleteFilesByMask(key);
            if (SameText(ExtractFileExt(key), ".hlp")) {
                // A help file leaves its index files beside it.
                DeleteFilesByMask(ChangeFileExt(key, ".gid"));
                DeleteFilesByMask(ChangeFileExt(key, ".fts"));
            }
        }
        StepProgress();
    }
}

void RemoveFolders() {
    TUninstallState& s = UninstallState;
    TStringList& lines = *s.SectionLines;
    if (s.RemoveDataFiles) {
        LoadSection("DataFolders");
        for (int i = 0; i < lines.Count(); ++i) {
            std::string key = EntryKey(lines[i]);
            ShowStatus(MessageFormat(15, key));
            // Never a drive, a share, a system, profile or shell folder, nor
            // a path that is not fully qualified: refused, still one step.
            if (!IsProtectedFolder(key)) DeleteFolderTree(key, true);
            StepProgress();
        }
    }
    LoadSection("CreateDirs");
    if (lines.Count() == 0) return;
    // From here on the log is read from the copy the INI cache holds.
    DeleteFileNow(s.LogPath);
    for (int i = 0; i < lines.Count(); ++i) lines.Put(i, EntryKey(lines[i]));
    // A folder sorts before the folders inside it: walking backwards removes
    // inner folders first. RemoveDirectoryA takes only empty folders.
    lines.Sort();
    for (int i = lines.Count() - 1; i >= 0; --i) {
        ShowStatus(MessageFormat(15, lines[i]));
        RemoveDirectoryA(lines[i].c_str());
        StepProgress();
    }
}
