// The real Uninstall.exe, on both Windows families, where a file is in use
// (deletion at the next restart, then the restart itself), where the
// deferred deletion cannot be written, and where a log entry reaches through
// a link or names a folder that must never go.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "zrRtl.h"

namespace {

const DWORD EXIT_FAILED = 0xFFFFFFFF;  // the program's -1
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
const char kErrorBoxCaption[] = "Orvel Uninstaller";

// One row per Windows family: the uninstaller is copied under the file name,
// which Wine shows the 9x family when Win9x is set.
struct TFamily {
    const char* Name;
    const char* ExeName;
    bool Win9x;
};

std::string DesktopFolder() {
    char buffer[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_DESKTOPDIRECTORY, FALSE) ? buffer : "";
}

void MakeFolders(const std::string& path) { SHCreateDirectoryExA(nullptr, path.c_str(), nullptr); }

// A file held open, by default without sharing: DeleteFileA fails on it
// with ERROR_SHARING_VIOLATION, as on a file in use.
TFileHandle HoldOpen(const std::string& path, DWORD sharing = 0) {
    return TFileHandle(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool HasLine(const std::string& text, const std::string& line) {
    std::vector<std::string> lines = SplitLines(text);
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return SameText(l, line); });
}

// ------------------------------------------------- saved state of the prefix

// The pending file operations of the NT family: pairs of source and target
// ("" for a deletion), as plain paths ("\??\" and the replace mark "!" cut).
std::vector<std::pair<std::string, std::string>> PendingOperations() {
    std::vector<std::pair<std::string, std::string>> pairs;
    TKeyHandle key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return pairs;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), kPendingValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return pairs;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.Get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size) !=
        ERROR_SUCCESS)
        return pairs;
    data.resize(size);
    std::vector<std::string> items;
    for (size_t start = 0; start < data.size();) {
        size_t end = std::min(data.find('\0', start), data.size());
        items.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    auto plain = [](std::string item) {
        if (!item.empty() && item[0] == '!') item.erase(0, 1);
        if (item.compare(0, 4, "\\??\\") == 0) item.erase(0, 4);
        return item;
    };
    // An empty source ends the list.
    for (size_t i = 0; i + 1 < items.size() && !items[i].empty(); i += 2)
        pairs.emplace_back(plain(items[i]), plain(items[i + 1]));
    return pairs;
}

// What a simulated restart carries out: the pending file operations and
// wininit.ini. Each test starts with neither, so `wineboot -r` carries out
// only what the test scheduled, and the prefix gets its own back afterwards
// (wineboot -r leaves wininit.ini renamed to wininit.bak).
class RestartTest : public ::testing::Test {
protected:
    RestartTest() {
        if (PendingValue.Get()) RegDeleteValueA(PendingValue.Get(), kPendingValue);
        DeleteFileA(WininitPath.c_str());
        DeleteFileA(WininitBakPath.c_str());
    }

    bool IsScheduledForDeletion(const std::string& path, bool win9x) const {
        if (win9x) return HasLine(ReadFileBytes(WininitPath), "NUL=" + ShortPath(path));
        auto pairs = PendingOperations();
        return std::any_of(pairs.begin(), pairs.end(), [&](const std::pair<std::string, std::string>& p) {
            return SameText(p.first, path) && p.second.empty();
        });
    }

    const std::string WininitPath = WindowsFolder() + "\\wininit.ini";
    const std::string WininitBakPath = WindowsFolder() + "\\wininit.bak";

private:
    TSavedRegValue PendingValue{HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue};
    TSavedFile Wininit{WininitPath};
    TSavedFile WininitBak{WininitBakPath};
};

// ------------------------------------------------------- restart requests

// The simulated restart: the real wineboot carries out the pending file
// operations and the [Rename] section of wininit.ini.
DWORD SimulateRestart() {
    return RunAndWaitExit("\"" + SystemFolder() + "\\wineboot.exe\" -r", SystemFolder());
}

// ------------------------------------------------------------ error boxes

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    char className[32] = {}, text[1024] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

// Runs a program to its end and answers the program's error box with OK.
// Under Xvfb (DISPLAY set) the box waits for an answer and its text is
// returned in boxText; without a display MessageBoxA returns at once and
// boxText stays empty.
DWORD RunAnsweringErrorBox(const std::string& commandLine, const std::string& currentDir, std::string& boxText) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, currentDir.c_str(),
                        &si, &pi))
        return STILL_ACTIVE;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    for (DWORD start = GetTickCount(); WaitForSingleObject(process.Get(), 100) == WAIT_TIMEOUT;) {
        if (GetTickCount() - start > 120000) {
            TerminateProcess(process.Get(), 1);
            return STILL_ACTIVE;
        }
        if (HWND box = FindWindowA("#32770", kErrorBoxCaption)) {
            EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&boxText));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

bool HasDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

// ------------------------------------------------------------------ links

// Runs a Unix shell command from this Windows program and waits until it
// has run. Wine starts a file that is no Windows program as a Unix process
// when CreateProcessA names it by its "\\?\unix\" path (the test prefix has
// no drive Z: through which to name it). Such a start gives no process to
// wait for, so the command ends by making a marker file, which is awaited.
bool RunUnixCommand(const std::string& command, const std::string& markerFolder) {
    std::string marker = markerFolder + "\\" + UniqueName("unix-done");
    std::string unixMarker = UnixPath(markerFolder) + "/" + marker.substr(marker.rfind('\\') + 1);
    std::string commandLine = "/bin/sh -c \"" + command + " && : > '" + unixMarker + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA("\\\\?\\unix\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    bool done = WaitUntil([&] { return FileExists(marker); }, 5000);
    DeleteFileA(marker.c_str());
    return done;
}

// A link to a folder as Windows programs see it (FILE_ATTRIBUTE_REPARSE_POINT
// on a folder). Wine 8 makes neither junctions (mklink /J fails) nor Windows
// symbolic links (CreateSymbolicLinkA reports success and makes nothing),
// but shows a Unix symbolic link inside drive_c that way: it is made with
// "ln -s" and taken away with "rm" when the object goes (no Win32 call
// removes it under Wine 8, see LinkSafety).
class TUnixLink {
public:
    TUnixLink(const std::string& target, const std::string& link)
        : UnixLink(UnixPath(link)), Folder(link.substr(0, link.rfind('\\'))) {
        std::string unixTarget = UnixPath(target);
        Made = !unixTarget.empty() && !UnixLink.empty() &&
               RunUnixCommand("ln -s '" + unixTarget + "' '" + UnixLink + "'", Folder);
    }
    // No slash at the end: rm takes the link, never what it points to.
    ~TUnixLink() {
        if (Made) RunUnixCommand("rm -f '" + UnixLink + "'", Folder);
    }
    TUnixLink(const TUnixLink&) = delete;
    TUnixLink& operator=(const TUnixLink&) = delete;
    bool Made = false;
private:
    std::string UnixLink;
    std::string Folder;
};

bool IsWine() { return GetProcAddress(GetModuleHandleA("ntdll"), "wine_get_version") != nullptr; }

// A file made outside the scratch folders, deleted when the object goes.
struct TRemovedAtEnd {
    std::string Path;
    ~TRemovedAtEnd() { DeleteFileA(Path.c_str()); }
};

bool IsLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

// ------------------------------------------------------------------ tests

// A file in use is deleted at the restart, and so is the uninstaller; the
// program asks Windows to restart; the simulated restart then does it.
TEST_F(RestartTest, FileInUseAndTheUninstallerGoAtTheRestart) {
    const TFamily families[] = {{"NT family", "Uninstall.exe", false}, {"9x family", "Uninst9x.exe", true}};
    for (const TFamily& family : families) {
        SCOPED_TRACE(family.Name);
        std::unique_ptr<TWin9xProgram> win9x;
        if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
        TProduct product(UniqueName("App"), family.ExeName);
        std::string app = product.AppDir();
        std::string inUse = app + "\\engine library.dll", plain = app + "\\readme.txt";
        WriteFileBytes(inUse, "in use");
        WriteFileBytes(plain, "text");
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog("[CopyFiles]\r\n" + inUse + "=1\r\n" + plain + "=1\r\n");
        std::string exe = product.Exe();
        {
            TFileHandle held = HoldOpen(inUse);
            ASSERT_TRUE(held.Valid());
            TStandInWineboot wineboot;
            ASSERT_TRUE(wineboot.Ready()) << "the stand-in wineboot did not answer";

            EXPECT_EQ(product.Run("/s"), 0u);
            std::string requests = wineboot.TakeRequests(10000);
            // ExitWindowsEx(EWX_REBOOT) without EWX_FORCE: Wine passes
            // "--shutdown" only when no restart is asked for, "--kill" for force.
            EXPECT_NE(requests.find("--end-session"), std::string::npos) << requests;
            EXPECT_EQ(requests.find("--shutdown"), std::string::npos) << requests;
            EXPECT_EQ(requests.find("--kill"), std::string::npos) << requests;
        }
        EXPECT_FALSE(FileExists(plain));
        EXPECT_FALSE(FileExists(product.LogPath()));
        EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
        // Nothing scheduled was carried out early.
        ASSERT_TRUE(FileExists(inUse));
        ASSERT_TRUE(FileExists(exe));
        EXPECT_TRUE(IsScheduledForDeletion(inUse, family.Win9x));
        EXPECT_TRUE(IsScheduledForDeletion(exe, family.Win9x));
        if (family.Win9x) {
            EXPECT_TRUE(HasLine(ReadFileBytes(WininitPath), "[Rename]"));
        }

        EXPECT_EQ(SimulateRestart(), 0u);
        EXPECT_TRUE(WaitUntilGone(inUse, 10000));
        EXPECT_TRUE(WaitUntilGone(exe, 10000));
        EXPECT_TRUE(FolderExists(app));  // deletion at the restart leaves the folder
        EXPECT_TRUE(PendingOperations().empty());
    }
}

// 9x family: wininit.ini held open by another program cannot be rewritten;
// the I/O error ends the worker, the program reports it and ends with -1
// without a restart, the user can run the uninstaller again, and the entries
// already in wininit.ini are kept.
TEST_F(RestartTest, UnwritableWininitEndsTheRunWithMinusOne) {
    struct TRow {
        const char* Name;
        DWORD Sharing;  // what the test's handle on wininit.ini lets others do
    } const rows[] = {
        {"no sharing: the file cannot be renamed to wininit.bak", 0},
        {"renaming allowed: wininit.bak cannot be read, the old file is put back", FILE_SHARE_DELETE},
    };
    const char exeName[] = "UnFail9x.exe";
    TWin9xProgram win9x(exeName);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TProduct product(UniqueName("App"), exeName);
        std::string inUse = product.AppDir() + "\\engine.dll";
        WriteFileBytes(inUse, "in use");
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog("[CopyFiles]\r\n" + inUse + "=1\r\n");
        const std::string oldWininit = "[Rename]\r\nNUL=C:\\UNINST~1\\NOSUCH.TXT\r\n\r\n[Other]\r\nkept=1\r\n";
        WriteFileBytes(WininitPath, oldWininit);

        std::string boxText;
        DWORD code;
        {
            TFileHandle heldFile = HoldOpen(inUse), heldWininit = HoldOpen(WininitPath, row.Sharing);
            ASSERT_TRUE(heldFile.Valid() && heldWininit.Valid());
            TStandInWineboot wineboot;
            ASSERT_TRUE(wineboot.Ready()) << "the stand-in wineboot did not answer";
            code = RunAnsweringErrorBox("\"" + product.Exe() + "\" /s", product.Root(), boxText);
            EXPECT_EQ(wineboot.TakeRequests(1000), "") << "a restart was asked for";
        }
        EXPECT_EQ(code, EXIT_FAILED);
        if (HasDisplay()) {
            EXPECT_NE(boxText.find("wininit"), std::string::npos) << boxText;
        }
        EXPECT_TRUE(product.UninstallKeyExists(HKEY_CURRENT_USER));
        EXPECT_TRUE(FileExists(product.LogPath()));
        EXPECT_TRUE(FileExists(inUse));
        EXPECT_TRUE(FileExists(product.Exe()));
        EXPECT_EQ(ReadFileBytes(WininitPath), oldWininit);
        EXPECT_FALSE(FileExists(WininitBakPath));
    }
}

// A DataFolders tree is deleted without following a link inside it, and a
// listed folder that is itself a link is taken as a link: what a link points
// to stays, an empty folder too. On Windows RemoveDirectoryA takes the link
// away. Wine 8 cannot: it follows a Unix link in RemoveDirectoryA (and in
// opens with FILE_FLAG_OPEN_REPARSE_POINT), refusing a target that holds
// files and removing an empty one; there the link, and the folders that hold
// it, must stay.
TEST(LinkSafety, DataFoldersRemoveLinksNotWhatTheyPointTo) {
    struct TRow {
        const char* Name;
        bool EntryIsLink;   // the DataFolders entry itself is the link
        bool TargetEmpty;   // the folder outside holds nothing
    } const rows[] = {
        {"link inside the tree", false, false},
        {"the entry is a link", true, false},
        {"link inside the tree to an empty folder", false, true},
    };
    const bool linksRemovable = !IsWine();
    const TFamily families[] = {{"NT family", "Uninstall.exe", false}, {"9x family", "UnLink9x.exe", true}};
    for (const TFamily& family : families) {
        std::unique_ptr<TWin9xProgram> win9x;
        if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
        for (const TRow& row : rows) {
            SCOPED_TRACE(std::string(family.Name) + ", " + row.Name);
            TProduct product(UniqueName("App"), family.ExeName);
            std::string outside = product.Root() + "\\Outside";
            const std::string canaries[] = {outside + "\\canary.txt", outside + "\\Inner\\deep.txt"};
            CreateDirectoryA(outside.c_str(), nullptr);
            if (!row.TargetEmpty) {
                MakeFolders(outside + "\\Inner");
                for (const std::string& canary : canaries) WriteFileBytes(canary, "keep");
            }
            std::string tree = product.AppDir() + "\\Data", link = tree + "\\Sub\\Shared";
            if (row.EntryIsLink) {
                tree = link = product.Root() + "\\LinkedData";
            } else {
                MakeFolders(tree + "\\Sub");
                WriteFileBytes(tree + "\\Sub\\file.txt", "x");
                WriteFileBytes(tree + "\\top.txt", "x");
            }
            TUnixLink unixLink(outside, link);
            ASSERT_TRUE(unixLink.Made);
            ASSERT_TRUE(IsLink(link));
            product.RegisterUninstallKey(HKEY_CURRENT_USER);
            product.WriteLog("[DataFolders]\r\n" + tree + "=\r\n");

            EXPECT_EQ(product.Run("/s"), 0u);
            EXPECT_TRUE(FolderExists(outside));
            if (!row.TargetEmpty) {
                for (const std::string& canary : canaries) EXPECT_TRUE(FileExists(canary)) << canary;
            }
            if (!row.EntryIsLink) {
                EXPECT_FALSE(FileExists(tree + "\\Sub\\file.txt"));
                EXPECT_FALSE(FileExists(tree + "\\top.txt"));
            }
            EXPECT_EQ(!linksRemovable, IsLink(link));
            EXPECT_EQ(!linksRemovable, FolderExists(tree));
            EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
            EXPECT_TRUE(WaitUntilGone(product.Exe()));
        }
    }
}

// Log entries that would delete the uninstaller's own folder, a folder taken
// relative to it, or the user's Desktop are refused; the rest of the log is
// undone and the run succeeds.
TEST(FolderSafety, EntriesNamingWhatMustNeverGoAreRefused) {
    std::string desktop = DesktopFolder();
    ASSERT_FALSE(desktop.empty());
    const TFamily families[] = {{"NT family", "Uninstall.exe", false}, {"9x family", "UnSafe9x.exe", true}};
    for (const TFamily& family : families) {
        SCOPED_TRACE(family.Name);
        std::unique_ptr<TWin9xProgram> win9x;
        if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
        TProduct product(UniqueName("App"), family.ExeName);
        std::string app = product.AppDir(), root = product.Root();
        // "\uninstall-tests\..." without its drive: relative to the current drive.
        std::string rootRelative = root.substr(2) + "\\Other";
        MakeFolders(app + "\\Data");
        MakeFolders(app + "\\Logs");
        MakeFolders(root + "\\Other");
        MakeFolders(root + "\\Cache\\Deep");
        const TRemovedAtEnd desktopFile{desktop + "\\" + UniqueName("canary") + ".txt"};
        const std::string& desktopCanary = desktopFile.Path;
        const std::string canaries[] = {app + "\\user notes.txt", app + "\\Data\\keep.txt",
                                        root + "\\Other\\keep.txt", desktopCanary};
        for (const std::string& canary : canaries) WriteFileBytes(canary, "keep");
        WriteFileBytes(app + "\\app.exe", "program");
        WriteFileBytes(app + "\\Logs\\run.log", "log");
        WriteFileBytes(root + "\\Cache\\Deep\\blob", "cache");
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog("[CopyFiles]\r\n" + app + "\\app.exe=1\r\n"
                         "[DataFiles]\r\n" + desktop + "\\*.*=\r\n*.*=\r\n" + app + "\\Logs\\*.log=\r\n"
                         "[DataFolders]\r\n.=\r\nData=\r\n" + rootRelative + "=\r\n" + desktop + "=\r\n" +
                         root + "\\Cache=\r\n");

        EXPECT_EQ(product.Run("/s"), 0u);
        for (const std::string& canary : canaries) EXPECT_TRUE(FileExists(canary)) << canary;
        EXPECT_TRUE(FolderExists(desktop));
        EXPECT_FALSE(FileExists(app + "\\app.exe"));
        EXPECT_FALSE(FileExists(app + "\\Logs\\run.log"));
        EXPECT_FALSE(FolderExists(root + "\\Cache"));
        EXPECT_FALSE(FileExists(product.LogPath()));
        EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
        // The uninstaller still removes itself; its folder stays, holding the
        // user's files.
        EXPECT_TRUE(WaitUntilGone(product.Exe()));
        EXPECT_TRUE(FolderExists(app));
    }
}
