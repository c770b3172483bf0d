// Helpers shared by the test programs: a scratch folder and a scratch
// registry key per test, removed afterwards, and whole-file reads and writes.
#pragma once

#include <windows.h>

#include <string>

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
