// Helpers shared by the test programs: a scratch folder and a scratch
// registry key per test, removed afterwards, whole-file reads and writes,
// files and registry values of the prefix taken aside and put back, and
// small path and waiting helpers.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "zrRtl.h"

// A new, empty folder below C:\uninstall-tests, removed with all it holds
// when the object goes (never anything outside C:\uninstall-tests).
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return Folder; }    // without a final "\"
    std::string operator/(const std::string& name) const { return Folder + "\\" + name; }
private:
    std::string Folder;
};

// A new registry key HKCU\Software\UninstallTests\<unique>, deleted with its
// subkeys when the object goes. Path() is in the program's notation ("HKCU\...").
class TTempRegKey {
public:
    explicit TTempRegKey(const std::string& root = "HKCU");
    ~TTempRegKey();
    TTempRegKey(const TTempRegKey&) = delete;
    TTempRegKey& operator=(const TTempRegKey&) = delete;
    const std::string& Path() const { return FullPath; }
    const std::string& SubKey() const { return Sub; }
    HKEY Root() const { return RootKey; }
private:
    HKEY RootKey;
    std::string Sub;
    std::string FullPath;
};

std::string UniqueName(const std::string& stem);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// The names in a folder, "." and ".." left out, sorted; empty when the folder
// is missing.
std::vector<std::string> FolderEntries(const std::string& folder);
// The lines of a text with "\r\n" line ends; a last line without one counts.
std::vector<std::string> SplitLines(const std::string& text);

std::string WindowsFolder();  // GetWindowsDirectoryA
std::string SystemFolder();   // GetSystemDirectoryA
// GetShortPathNameA of an existing path; the path itself when it fails.
std::string ShortPath(const std::string& path);
// Wine exports wine_get_unix_file_name from kernel32: the Unix path of a
// Windows path. Empty outside Wine or when there is none.
std::string UnixPath(const std::string& windowsPath);

// Asks the condition every 50 ms until it holds; false when it still does not
// after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A file's content (or its absence) taken aside and put back when the
// object goes.
class TSavedFile {
public:
    explicit TSavedFile(const std::string& path);
    ~TSavedFile();
    TSavedFile(const TSavedFile&) = delete;
    TSavedFile& operator=(const TSavedFile&) = delete;
private:
    std::string Path;
    bool Had;
    std::string Data;
};

// A registry value taken aside whole (or its absence) and put back when the
// object goes. Get() is the key, opened (made when missing) for querying and
// setting values; null when that failed.
class TSavedRegValue {
public:
    TSavedRegValue(HKEY root, const std::string& subKey, const std::string& name);
    ~TSavedRegValue();
    TSavedRegValue(const TSavedRegValue&) = delete;
    TSavedRegValue& operator=(const TSavedRegValue&) = delete;
    HKEY Get() const { return Key.Get(); }
private:
    TKeyHandle Key;
    std::string Name;
    bool Had = false;
    DWORD Type = REG_NONE;
    std::string Data;
};
