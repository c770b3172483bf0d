// Helpers of the scenario tests: a product staged in a scratch folder with
// its install log and a copy of Uninstall.exe, run like a user would run it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "zrRtl.h"

// Path of the built Uninstall.exe beside this test program's build folder.
std::string BuiltUninstaller();

// Exit code of a program run to its end (bounded wait); STILL_ACTIVE when it
// did not end in time (it is then killed). This thread's messages are
// dispatched meanwhile.
DWORD RunAndWaitExit(const std::string& commandLine, const std::string& currentDir = std::string(),
                     DWORD timeoutMs = 120000);

// A hidden top-level window that counts the broadcasts of one message it
// receives while RunAndWaitExit waits; with about, only those whose lParam
// names that text (WM_SETTINGCHANGE "Environment"). Windows exist only on a
// display: Ready() tells.
class TBroadcastCounter {
public:
    explicit TBroadcastCounter(UINT message, const char* about = nullptr);
    TBroadcastCounter(const TBroadcastCounter&) = delete;
    TBroadcastCounter& operator=(const TBroadcastCounter&) = delete;
    bool Ready() const { return Window.Valid(); }
    int Count() const { return Seen; }
    void Reset() { Seen = 0; }
    void Notice(UINT message, LPARAM lParam);

private:
    UINT Message;
    const char* About;
    int Seen = 0;
    TWindowHandle Window;
};

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

// Puts WinebootStandIn.exe (tests/fixtures, built beside the test programs)
// in the place of Wine's wineboot.exe for the life of the object, with the
// native load order from HKCU\Software\Wine\DllOverrides: Wine takes no
// WINEDLLOVERRIDES from the environment block a Windows program hands down,
// nor a per-program AppDefaults override for the program's own file, and
// with its usual (builtin) order runs its own wineboot whatever file lies
// there. ExitWindowsEx under Wine starts "wineboot --end-session", which
// would end the prefix's session and carry out the pending file operations
// and wininit.ini at once; the stand-in only writes its command line to the
// file named by UNINSTALL_TEST_WINEBOOT_LOG, set in this program's
// environment meanwhile and inherited by the programs it starts. The file,
// the override and the variable go back when the object goes, so the real
// wineboot serves a simulated restart afterwards. Every start of wineboot in
// the prefix reaches the stand-in meanwhile: a test program that uses it
// runs alone (RUN_SERIAL in tests/CMakeLists.txt).
class TStandInWineboot {
public:
    TStandInWineboot();
    ~TStandInWineboot();
    TStandInWineboot(const TStandInWineboot&) = delete;
    TStandInWineboot& operator=(const TStandInWineboot&) = delete;

    // In place and answered a first call ("--check") with exit code 0: only
    // then may a test ask for a restart, which the real wineboot would carry
    // out on this prefix.
    bool Ready() const { return Answered; }
    // The command lines the stand-in got since the last call; waits up to
    // waitMs for the first one, and for the stand-in to end: it runs in the
    // current folder of the program that started it, which cannot be removed
    // while it is there.
    std::string TakeRequests(DWORD waitMs);

private:
    std::string Path;
    std::string Original;
    std::string LogPath;
    bool Placed = false;
    bool Answered = false;
    std::unique_ptr<TSavedRegValue> Override;
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
