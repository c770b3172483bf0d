// Helpers of the scenario tests: a product staged in a scratch folder with
// its install log and a copy of Uninstall.exe, run like a user would run it.
#pragma once

#include <windows.h>

#include <string>

#include "TestSupport.h"

// Path of the built Uninstall.exe beside this test program's build folder.
std::string BuiltUninstaller();

// Exit code of a program run to its end (bounded wait); STILL_ACTIVE when it
// did not end in time (it is then killed). exeAndArgs is a whole command line.
DWORD RunAndWaitExit(const std::string& commandLine, const std::string& currentDir = std::string(),
                     DWORD timeoutMs = 120000);

// Waits until the file is gone; false when it is still there after timeoutMs.
bool WaitUntilGone(const std::string& path, DWORD timeoutMs = 30000);

// The 9x family for every program file of this name (Wine's per-program
// Windows version); removed again when the object goes.
class TWin9xProgram {
public:
    explicit TWin9xProgram(const std::string& exeName);
    ~TWin9xProgram();
    TWin9xProgram(const TWin9xProgram&) = delete;
    TWin9xProgram& operator=(const TWin9xProgram&) = delete;
private:
    std::string Key;
};

// A product staged below a scratch folder: Root\App holds the uninstaller.
class TProduct {
public:
    // exeName: the file name the uninstaller is copied under.
    explicit TProduct(const std::string& appId = UniqueName("App"), const std::string& exeName = "Uninstall.exe");
    ~TProduct();

    const std::string& AppId() const { return Id; }
    std::string Root() const { return Dir.Path(); }
    std::string AppDir() const { return Dir / "App"; }
    std::string Exe() const { return AppDir() + "\\" + ExeName; }
    std::string LogPath() const { return AppDir() + "\\install.log"; }
    std::string UninstallKeyPath() const;  // subkey below HKCU or HKLM
    // Writes install.log; "[Strings]\r\nAppID=<id>\r\n" is put in front.
    void WriteLog(const std::string& sections) const;
    // Makes the product's Uninstall key under HKCU or HKLM with DisplayName
    // and, when given, SilentSettings.
    void RegisterUninstallKey(HKEY root, const std::string& silentSettings = std::string()) const;
    bool UninstallKeyExists(HKEY root) const;
    // Runs the uninstaller with these arguments; returns its exit code.
    DWORD Run(const std::string& args = "/s") const;

private:
    TTempDir Dir;
    std::string Id;
    std::string ExeName;
};
