#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "TestSupport.h"
#include "utils.h"
#include "zrFileUtils.h"
#include "zrRegIni.h"
#include "zrRtl.h"

namespace {

// ------------------------------------------------------------------ helpers

DWORD PlatformId() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwPlatformId;
}

void MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    WriteFileBytes(path, "x");
    SetFileAttributesA(path.c_str(), attributes);
}

// Runs a Unix program (such as /bin/ln) from this Windows program: Wine
// starts a file that is not a Windows program as a Unix process when it is
// named by its "\\?\unix\" path. CreateProcessA then succeeds without a
// process handle, so the caller waits for the program's effect instead.
bool RunUnixProgram(const std::string& program, const std::string& arguments) {
    std::string commandLine = program + " " + arguments;
    std::string image = "\\\\?\\unix" + program;
    std::replace(image.begin(), image.end(), '/', '\\');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(image.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    TKernelHandle thread(process.hThread), handle(process.hProcess);
    return true;
}

// Waits up to 5 s until GetFileAttributesA(path) is valid (or invalid).
bool WaitForPath(const std::string& path, bool present) {
    for (int i = 0; i < 500; ++i) {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
        Sleep(10);
    }
    return false;
}

// Removes a Unix link when the test ends, however it ends ("rm -f" of a
// path without a final slash takes the link, never what it points at), and
// waits until Windows no longer sees it.
class TUnixLinkRemover {
public:
    TUnixLinkRemover(const std::string& unixLink, const std::string& windowsPath)
        : UnixLink(unixLink), WindowsPath(windowsPath) {}
    ~TUnixLinkRemover() {
        if (RunUnixProgram("/bin/rm", "-f \"" + UnixLink + "\"")) WaitForPath(WindowsPath, false);
    }
    TUnixLinkRemover(const TUnixLinkRemover&) = delete;
    TUnixLinkRemover& operator=(const TUnixLinkRemover&) = delete;
private:
    std::string UnixLink, WindowsPath;
};

// A link to a folder as Windows programs see it (attributes 0x410). Wine 8
// can make neither junctions nor Windows symbolic links (mklink /J fails,
// CreateSymbolicLinkA makes nothing), but a Unix symbolic link in drive_c is
// shown as a folder with FILE_ATTRIBUTE_REPARSE_POINT: it is made with /bin/ln.
bool MakeUnixLink(const std::string& target, const std::string& link) {
    std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    return RunUnixProgram("/bin/ln", "-s \"" + unixTarget + "\" \"" + unixLink + "\"") && WaitForPath(link, true);
}

// ------------------------------------------------------- file names and days

// The 8 characters: day D = (year % 10) * 365 + (year % 10) / 4 + day of the
// year, in 3 base-32 digits; hundredths of a second since midnight in 5.
TEST(UniqueNumberText, DayAndTimeInBase32) {
    struct TRow {
        WORD Year, Month, Day, Hour, Minute, Second, Milliseconds;
        const char* Expected;
    };
    const TRow rows[] = {
        {2004, 3, 15, 10, 20, 30, 450, "1G03HJP5"},  // D 1536 (day 75 of a leap year), T 3723045
        {2000, 1, 1, 0, 0, 0, 0, "00100000"},        // the smallest numbers
        {2000, 3, 1, 0, 0, 0, 9, "01T00000"},        // 2000 is a leap year (divisible by 400); 9 ms is 0
        {2100, 3, 1, 0, 0, 0, 0, "01S00000"},        // 2100 is not (divisible by 100)
        {2001, 1, 1, 0, 0, 0, 10, "0BE00001"},       // D 366
        {2005, 1, 1, 0, 0, 1, 0, "1P300034"},        // D 1827 (one leap year before), 100 hundredths
        {2009, 12, 31, 23, 59, 59, 999, "3I487LFV"},  // the largest: D 3652, T 8639999
    };
    for (const TRow& row : rows) {
        SYSTEMTIME time = {};
        time.wYear = row.Year;
        time.wMonth = row.Month;
        time.wDay = row.Day;
        time.wHour = row.Hour;
        time.wMinute = row.Minute;
        time.wSecond = row.Second;
        time.wMilliseconds = row.Milliseconds;
        EXPECT_EQ(UniqueNumberText(time), row.Expected) << row.Year << "-" << row.Month << "-" << row.Day;
    }
}

TEST(UniqueFileName, PrefixNumberAndExtension) {
    struct TRow {
        const char* Prefix;
        const char* Extension;
        bool ShortForm;
        const char* Head;  // the prefix as it appears
        size_t Digits;     // number digits that follow it
    };
    const TRow rows[] = {
        {"", ".bat", true, "", 8},           // the program's own use
        {"ab", ".tmp", true, "ab", 6},        // prefix and number: 8 together
        {"abcdef", "", true, "abcd", 4},      // the prefix keeps 4 characters
        {"abcdef", ".x", false, "abcdef", 8},  // the long form keeps everything
    };
    TTempDir dir;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Prefix);
        std::string name = UniqueFileName(dir.Path(), row.Prefix, row.Extension, row.ShortForm);
        std::string head = row.Head, extension = row.Extension;
        ASSERT_EQ(name.size(), head.size() + row.Digits + extension.size()) << name;
        EXPECT_EQ(name.substr(0, head.size()), head);
        EXPECT_EQ(name.substr(name.size() - extension.size()), extension);
        std::string digits = name.substr(head.size(), row.Digits);
        EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUV"), std::string::npos) << name;
        EXPECT_FALSE(FileExists(dir / name) || FolderExists(dir / name));
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(UniqueFileName(dir.Path(), "", "", false).substr(0, 3), UniqueNumberText(now).substr(0, 3));
}

// Every name of the next 300 ms is taken (as a file or as a folder): the
// routine waits until the clock gives a free one.
TEST(UniqueFileName, SkipsNamesTakenByFilesAndFolders) {
    TTempDir dir;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME start;
    SystemTimeToFileTime(&now, &start);
    std::set<std::string> taken;
    for (int i = -1; i < 30; ++i) {
        ULARGE_INTEGER moment;
        moment.LowPart = start.dwLowDateTime;
        moment.HighPart = start.dwHighDateTime;
        moment.QuadPart += static_cast<LONGLONG>(i) * 100000;  // 10 ms in 100 ns units
        FILETIME fileTime = {moment.LowPart, moment.HighPart};
        SYSTEMTIME time;
        FileTimeToSystemTime(&fileTime, &time);
        std::string name = UniqueNumberText(time) + ".bat";
        taken.insert(name);
        if (i % 2)
            CreateDirectoryA((dir / name).c_str(), nullptr);
        else
            MakeFile(dir / name);
    }
    std::string name = UniqueFileName(dir.Path() + "\\", "", ".bat", true);
    EXPECT_EQ(taken.count(name), 0u) << name;
    EXPECT_FALSE(FileExists(dir / name) || FolderExists(dir / name));
}

// ------------------------------------------------------------------ deleting

TEST(DeleteFileNow, DeletesWhateverTheAttributes) {
    const DWORD rows[] = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                          FILE_ATTRIBUTE_SYSTEM,
                          FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    TTempDir dir;
    for (DWORD attributes : rows) {
        std::string path = dir / ("file" + std::to_string(attributes));
        MakeFile(path, attributes);
        DWORD kept = attributes & ~FILE_ATTRIBUTE_NORMAL;  // a normal file reads back as archive
        ASSERT_EQ(GetFileAttributesA(path.c_str()) & kept, kept);
        EXPECT_TRUE(DeleteFileNow(path)) << attributes;
        EXPECT_FALSE(FileExists(path)) << attributes;
    }
}

TEST(DeleteFileNow, FailsOnMissingOrInUseFile) {
    TTempDir dir;
    EXPECT_FALSE(DeleteFileNow(dir / "missing.txt"));
    std::string path = dir / "busy.txt";
    MakeFile(path);
    TFileHandle busy(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy);
    EXPECT_FALSE(DeleteFileNow(path));
    EXPECT_TRUE(FileExists(path));
}

class DeleteFolderTreeTest : public ::testing::Test {
protected:
    // tree\ro.txt (read-only), tree\Hidden\ (hidden) holding sys.dll
    // (read-only, system) and Hidden\Deeper\plain.txt.
    void MakeTree() {
        CreateDirectoryA(Tree.c_str(), nullptr);
        MakeFile(Tree + "\\ro.txt", FILE_ATTRIBUTE_READONLY);
        CreateDirectoryA(Hidden.c_str(), nullptr);
        SetFileAttributesA(Hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
        MakeFile(Hidden + "\\sys.dll", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
        CreateDirectoryA((Hidden + "\\Deeper").c_str(), nullptr);
        MakeFile(Hidden + "\\Deeper\\plain.txt");
    }
    TTempDir Dir;
    std::string Tree = Dir / "Tree";
    std::string Hidden = Tree + "\\Hidden";
};

TEST_F(DeleteFolderTreeTest, RemovesReadOnlyAndHiddenEntries) {
    MakeTree();
    EXPECT_TRUE(DeleteFolderTree(Tree, true));
    EXPECT_FALSE(FolderExists(Tree));
    EXPECT_TRUE(FolderExists(Dir.Path()));
}

TEST_F(DeleteFolderTreeTest, WithoutRemoveFoldersKeepsTheEmptiedFolders) {
    MakeTree();
    EXPECT_TRUE(DeleteFolderTree(Tree + "\\", false));
    EXPECT_FALSE(FileExists(Tree + "\\ro.txt"));
    EXPECT_FALSE(FileExists(Hidden + "\\sys.dll"));
    EXPECT_FALSE(FileExists(Hidden + "\\Deeper\\plain.txt"));
    EXPECT_TRUE(FolderExists(Hidden + "\\Deeper"));
}

TEST_F(DeleteFolderTreeTest, MissingFolderOrFileGivesFalse) {
    EXPECT_FALSE(DeleteFolderTree(Tree, true));
    MakeFile(Dir / "file.txt");
    EXPECT_FALSE(DeleteFolderTree(Dir / "file.txt", true));
    EXPECT_TRUE(FileExists(Dir / "file.txt"));
}

// Entries whose names begin with a dot are skipped; a file in use cannot
// go. Either keeps the folders that hold it: the rest goes, the result is false.
TEST_F(DeleteFolderTreeTest, KeptEntryKeepsItsFoldersAndGivesFalse) {
    for (const char* kept : {".keep", "busy.txt"}) {
        SCOPED_TRACE(kept);
        MakeTree();
        std::string keptPath = Hidden + "\\Deeper\\" + kept;
        MakeFile(keptPath);
        TFileHandle busy;
        if (kept[0] != '.')
            busy.Reset(CreateFileA(keptPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(DeleteFolderTree(Tree, true));
        EXPECT_TRUE(FileExists(keptPath));
        EXPECT_FALSE(FileExists(Hidden + "\\Deeper\\plain.txt"));
        EXPECT_FALSE(FileExists(Tree + "\\ro.txt"));
        EXPECT_TRUE(FolderExists(Tree));
        busy.Reset();
        DeleteFileNow(keptPath);
        ASSERT_TRUE(DeleteFolderTree(Tree, true));
    }
}

// A link inside the tree is never followed: the folder it points at keeps
// all it holds. On Windows RemoveDirectoryA takes the link away. Wine 8
// follows a Unix link in RemoveDirectoryA and refuses the target because it
// is not empty (ERROR_DIR_NOT_EMPTY): there the link stays and the result is
// false (and with an empty target Wine would remove the target instead: the
// target here holds files). Wine shows a Unix link to a file as a plain
// file, so only folder links can be tried here.
TEST_F(DeleteFolderTreeTest, LinkIsRemovedNeverFollowed) {
    MakeTree();
    std::string target = Dir / "Target";
    CreateDirectoryA(target.c_str(), nullptr);
    MakeFile(target + "\\data.txt", FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((target + "\\Sub").c_str(), nullptr);
    MakeFile(target + "\\Sub\\more.txt");
    std::string link = Hidden + "\\Link";
    if (!MakeUnixLink(target, link)) GTEST_SKIP() << "no Unix links outside Wine";
    TUnixLinkRemover remover(UnixPath(link), link);
    ASSERT_EQ(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT);

    for (const std::string& root : {link, Tree}) {
        SCOPED_TRACE(root);
        bool result = DeleteFolderTree(root, true);
        EXPECT_TRUE(FileExists(target + "\\data.txt"));
        EXPECT_TRUE(FileExists(target + "\\Sub\\more.txt"));
        bool linkGone = GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(result, linkGone);
    }
    EXPECT_FALSE(FileExists(Tree + "\\ro.txt"));
    EXPECT_FALSE(FileExists(Hidden + "\\Deeper\\plain.txt"));
    EXPECT_FALSE(FolderExists(Hidden + "\\Deeper"));
    // Without RemoveFolders a link is left alone.
    if (FolderExists(link)) {
        EXPECT_TRUE(DeleteFolderTree(Tree, false));
    }
    EXPECT_TRUE(FileExists(target + "\\data.txt"));
}

// A drive root is refused whole: nothing on the drive is touched. The drive
// is a letter mapped to a scratch folder (a link in the prefix's dosdevices
// folder, where Wine keeps its drive letters).
TEST_F(DeleteFolderTreeTest, DriveRootIsRefused) {
    DWORD drives = GetLogicalDrives();
    char letter = 'Q';
    while (letter < 'Y' && (drives & (1u << (letter - 'A')))) ++letter;
    std::string driveC = UnixPath("C:\\");
    size_t cut = driveC.rfind("/c:");
    if (driveC.empty() || cut == std::string::npos) GTEST_SKIP() << "no Wine drive folder";
    std::string unixDrive = driveC.substr(0, cut) + "/" + static_cast<char>(letter - 'A' + 'a') + ":";
    std::string root = std::string(1, letter) + ":\\";
    MakeTree();
    ASSERT_TRUE(RunUnixProgram("/bin/ln", "-s \"" + UnixPath(Tree) + "\" \"" + unixDrive + "\""));
    TUnixLinkRemover remover(unixDrive, root);
    ASSERT_TRUE(WaitForPath(root + "ro.txt", true));
    EXPECT_FALSE(DeleteFolderTree(root, true));
    EXPECT_FALSE(DeleteFolderTree(root.substr(0, 2), true));
    EXPECT_TRUE(FileExists(root + "ro.txt"));
    EXPECT_TRUE(FileExists(Hidden + "\\Deeper\\plain.txt"));
}

// ---------------------------------------------------- deferred actions (NT)

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

std::vector<std::string> PendingOperations() {
    std::vector<std::string> items;
    TKeyHandle key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return items;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), kPendingValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return items;
    std::string data(size, '\0');
    if (size == 0 ||
        RegQueryValueExA(key.Get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
        return items;
    data.resize(size);
    // Pairs of zero-ended strings (source, then target or ""); an empty
    // source ends the list.
    for (size_t start = 0; start < data.size();) {
        size_t end = std::min(data.find('\0', start), data.size());
        std::string source = data.substr(start, end - start);
        if (source.empty()) break;
        start = end + 1;
        end = std::min(data.find('\0', start), data.size());
        items.push_back(source);
        items.push_back(start < data.size() ? data.substr(start, end - start) : std::string());
        start = end + 1;
    }
    return items;
}

void WritePendingOperations(const std::vector<std::string>& items) {
    TKeyHandle key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
    if (items.empty()) {
        RegDeleteValueA(key.Get(), kPendingValue);
        return;
    }
    std::string data;
    for (const std::string& item : items) data += item + '\0';
    data += '\0';
    RegSetValueExA(key.Get(), kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
}

// "\??\C:\path" or "!\??\C:\path" (replace) as a plain path.
std::string PendingPath(const std::string& item) {
    std::string path = item;
    if (!path.empty() && path[0] == '!') path.erase(0, 1);
    if (path.compare(0, 4, "\\??\\") == 0) path.erase(0, 4);
    return path;
}

bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && SameText(path.substr(0, folder.size() + 1), folder + "\\");
}

class NTFamilyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsWinNT()) GTEST_SKIP() << "NT family only";
    }
    // Drops this test's pairs again, whatever else is scheduled stays.
    void TearDown() override {
        std::vector<std::string> items = PendingOperations(), kept;
        for (size_t i = 0; i < items.size(); i += 2)
            if (!IsBelow(PendingPath(items[i]), Dir.Path())) kept.insert(kept.end(), {items[i], items[i + 1]});
        if (kept.size() != items.size()) WritePendingOperations(kept);
    }
    // This test's pairs as (source, target) plain paths, in order.
    std::vector<std::pair<std::string, std::string>> OwnPairs() const {
        std::vector<std::pair<std::string, std::string>> pairs;
        std::vector<std::string> items = PendingOperations();
        for (size_t i = 0; i < items.size(); i += 2)
            if (IsBelow(PendingPath(items[i]), Dir.Path()))
                pairs.emplace_back(PendingPath(items[i]), PendingPath(items[i + 1]));
        return pairs;
    }
    TTempDir Dir;
};

TEST_F(NTFamilyTest, DeleteFileAtRestartSchedulesTheDeletion) {
    MakeFile(Dir / "in use.dll");
    DeleteFileAtRestart(Dir / "in use.dll");
    auto pairs = OwnPairs();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_TRUE(SameText(pairs[0].first, Dir / "in use.dll")) << pairs[0].first;
    EXPECT_EQ(pairs[0].second, "");
    EXPECT_TRUE(FileExists(Dir / "in use.dll"));
}

// Relative names are made absolute; the present target is deleted first,
// then the source moved onto it.
TEST_F(NTFamilyTest, MoveFileAtRestartDeletesTargetThenMoves) {
    MakeFile(Dir / "new.dll");
    MakeFile(Dir / "old.dll");
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(Dir.Path().c_str());
    MoveFileAtRestart("new.dll", "old.dll");
    // Started outside every drive, this program's folder reads back as
    // "unix\..." and cannot be made current again: the scratch folder must
    // not stay current, or it cannot be removed.
    if (!SetCurrentDirectoryA(previous)) SetCurrentDirectoryA(WindowsDirectory().c_str());
    auto pairs = OwnPairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_TRUE(SameText(pairs[0].first, Dir / "old.dll")) << pairs[0].first;
    EXPECT_EQ(pairs[0].second, "");
    EXPECT_TRUE(SameText(pairs[1].first, Dir / "new.dll")) << pairs[1].first;
    EXPECT_TRUE(SameText(pairs[1].second, Dir / "old.dll")) << pairs[1].second;
}

TEST_F(NTFamilyTest, SourceThatIsNoFileSchedulesNothing) {
    CreateDirectoryA((Dir / "Folder").c_str(), nullptr);
    MakeFile(Dir / "target.dll");
    DeleteFileAtRestart(Dir / "missing.dll");
    DeleteFileAtRestart(Dir / "Folder");
    MoveFileAtRestart(Dir / "missing.dll", Dir / "target.dll");
    EXPECT_TRUE(OwnPairs().empty());
}

// ---------------------------------------------------- deferred actions (9x)

// Set in the copy of this program that Win9xFamilyLauncher starts under the
// 9x emulation: there the 9x tests must run, not skip.
const char kChildVariable[] = "FILEOPS_TESTS_9X_CHILD";

class Win9xFamilyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetEnvironmentVariableA(kChildVariable, nullptr, 0) != 0)
            ASSERT_EQ(PlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
        else if (PlatformId() != VER_PLATFORM_WIN32_WINDOWS)
            GTEST_SKIP() << "9x family only (see Win9xFamilyLauncher)";
        ASSERT_FALSE(IsWinNT());
        HadIni = FileExists(IniPath);
        SavedIni = ReadFileBytes(IniPath);
        DeleteFileA(IniPath.c_str());
        DeleteFileA(BakPath.c_str());
        Prepared = true;
    }
    // Puts back the wininit.ini this machine had before the test.
    void TearDown() override {
        if (!Prepared) return;
        DeleteFileNow(IniPath);
        DeleteFileNow(BakPath);
        if (HadIni) WriteFileBytes(IniPath, SavedIni);
        for (const std::string& name : RunOnceNames) DeleteRegValue(kRunOnce, name);
    }
    std::string IniText() const { return ReadFileBytes(IniPath); }

    const std::string IniPath = WindowsDirectory() + "\\wininit.ini";
    const std::string BakPath = WindowsDirectory() + "\\wininit.bak";
    const std::string kRunOnce = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::vector<std::string> RunOnceNames;
    std::string SavedIni;
    bool HadIni = false;
    bool Prepared = false;
    TTempDir Dir;
};

// Where the "NUL=" entry goes in what the file held before.
TEST_F(Win9xFamilyTest, DeletionEntryJoinsTheRenameSection) {
    struct TRow {
        const char* Name;
        const char* Before;  // nullptr: no wininit.ini
        const char* After;   // "%s" stands for the new entry
    };
    const TRow rows[] = {
        {"no file", nullptr, "[Rename]\r\n%s\r\n"},
        {"empty file", "", "[Rename]\r\n%s\r\n"},
        {"after the entries, before the empty line", "[Rename]\r\nNUL=C:\\OLD.TXT\r\n\r\n[Other]\r\nx=1\r\n",
         "[Rename]\r\nNUL=C:\\OLD.TXT\r\n%s\r\n\r\n[Other]\r\nx=1\r\n\r\n"},
        {"no section yet", "[Other]\r\nx=1\r\n", "[Other]\r\nx=1\r\n\r\n[Rename]\r\n%s\r\n"},
        {"section as last line, blanks and letter case", "  [rename] ", "[rename]\r\n%s\r\n"},
        {"next section without an empty line", "[Rename]\r\nNUL=C:\\A.TXT\r\n[Other]\r\nx=1\r\n\r\ny=2",
         "[Rename]\r\nNUL=C:\\A.TXT\r\n[Other]\r\nx=1\r\n%s\r\n\r\ny=2\r\n"},
    };
    std::string file = Dir / "in use file.dll";
    MakeFile(file);
    std::string entry = "NUL=" + ShortPathName(file);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        DeleteFileA(IniPath.c_str());
        if (row.Before) WriteFileBytes(IniPath, row.Before);
        DeleteFileAtRestart(file);
        EXPECT_EQ(IniText(), Format(row.After, {entry}));
        EXPECT_FALSE(FileExists(BakPath));
        EXPECT_TRUE(FileExists(file));
    }
}

TEST_F(Win9xFamilyTest, CallsAccumulateInOrder) {
    MakeFile(Dir / "first.dll");
    MakeFile(Dir / "second.dll");
    DeleteFileAtRestart(Dir / "first.dll");
    DeleteFileAtRestart(Dir / "second.dll");
    EXPECT_EQ(IniText(), "[Rename]\r\nNUL=" + ShortPathName(Dir / "first.dll") + "\r\nNUL=" +
                             ShortPathName(Dir / "second.dll") + "\r\n\r\n");
}

// The present target is deleted, then the source takes its short name; a
// RunOnce command gives it back its long name. A missing target gets an empty
// placeholder for the moment, to learn its short name.
TEST_F(Win9xFamilyTest, MoveUsesShortNamesAndRenamesBackAtLogOn) {
    std::string source = Dir / "new version.dll", target = Dir / "Long target name.dll";
    MakeFile(source);
    for (bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "target exists" : "target missing");
        DeleteFileA(IniPath.c_str());
        if (targetExists) MakeFile(target);
        MoveFileAtRestart(source, target);
        EXPECT_EQ(FileExists(target), targetExists);
        // Wine's short names depend on the long name only: the same file
        // made again has the short name the routine saw.
        if (!targetExists) MakeFile(target);
        std::string shortTarget = ShortPathName(target), shortSource = ShortPathName(source);
        ASSERT_FALSE(SameText(shortTarget, target));
        EXPECT_EQ(IniText(), "[Rename]\r\nNUL=" + shortTarget + "\r\n" + shortTarget + "=" + shortSource + "\r\n");
        std::string valueName = "Rename " + shortTarget;
        RunOnceNames.push_back(valueName);
        EXPECT_EQ(ReadRegString(kRunOnce, valueName, "<none>"),
                  "command.com /c ren " + shortTarget + " \"Long target name.dll\"");
        DeleteRegValue(kRunOnce, valueName);
        DeleteFileA(target.c_str());
    }
    // A target given by its short name needs no renaming.
    MakeFile(target);
    std::string shortTarget = ShortPathName(target);
    DeleteFileA(IniPath.c_str());
    MoveFileAtRestart(source, shortTarget);
    RunOnceNames.push_back("Rename " + shortTarget);
    EXPECT_EQ(ReadRegString(kRunOnce, "Rename " + shortTarget, "<none>"), "<none>");
    EXPECT_EQ(SplitLines(IniText()).size(), 3u);
}

TEST_F(Win9xFamilyTest, SourceThatIsNoFileLeavesWininitUntouched) {
    CreateDirectoryA((Dir / "Folder").c_str(), nullptr);
    for (const char* before : {static_cast<const char*>(nullptr), "[Rename]\r\nNUL=C:\\OLD.TXT\r\n"}) {
        DeleteFileA(IniPath.c_str());
        if (before) WriteFileBytes(IniPath, before);
        DeleteFileAtRestart(Dir / "missing.dll");
        DeleteFileAtRestart(Dir / "Folder");
        MoveFileAtRestart(Dir / "missing.dll", Dir / "target.dll");
        EXPECT_EQ(FileExists(IniPath), before != nullptr);
        if (before) {
            EXPECT_EQ(IniText(), before);
        }
        EXPECT_FALSE(FileExists(Dir / "target.dll"));
    }
}

// A failure raises EInOutError, and the entries already in wininit.ini
// survive it: the placeholder that cannot be made (its folder is missing)
// fails before the file is touched; a backup that cannot be read (held open
// by another program, sharing deletion only, so it can be renamed but not
// read) fails after the rename, and the old file is put back.
TEST_F(Win9xFamilyTest, FailureKeepsTheEntriesAlreadyThere) {
    const std::string before = "[Rename]\r\nNUL=C:\\OLD.TXT\r\n\r\n";
    std::string source = Dir / "source.dll";
    MakeFile(source);

    WriteFileBytes(IniPath, before);
    EXPECT_THROW(MoveFileAtRestart(source, Dir / "Missing\\target.dll"), EInOutError);
    EXPECT_EQ(IniText(), before);
    EXPECT_FALSE(FileExists(BakPath));

    {
        TFileHandle holder(CreateFileA(IniPath.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_THROW(DeleteFileAtRestart(source), EInOutError);
    }
    EXPECT_EQ(IniText(), before);
    EXPECT_FALSE(FileExists(BakPath));

    DeleteFileAtRestart(source);
    EXPECT_EQ(IniText(), "[Rename]\r\nNUL=C:\\OLD.TXT\r\nNUL=" + ShortPathName(source) + "\r\n\r\n\r\n");
}

// Wine emulates the 9x family per program file name (AppDefaults "Version"
// = "win98"): a copy of this program under its own name runs the 9x tests.
TEST(Win9xFamilyLauncher, RunsThe9xTestsUnderEmulation) {
    if (PlatformId() != VER_PLATFORM_WIN32_NT) GTEST_SKIP() << "started from the NT family only";
    if (!GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")) GTEST_SKIP() << "Wine only";
    TTempDir dir;
    const std::string copyName = "FileOpsTests9x.exe";
    const std::string copy = dir / copyName;
    // Run from a folder outside every drive (the build folder, Z: being
    // unmapped), Wine names this program "unix\..." in GetModuleFileNameA:
    // only with the "\\?\" in front does CopyFileA find it.
    std::string self = ModulePath();
    if (self.compare(0, 5, "unix\\") == 0) self = "\\\\?\\" + self;
    ASSERT_TRUE(CopyFileA(self.c_str(), copy.c_str(), FALSE)) << self << " " << GetLastError();
    const std::string appKey = "HKCU\\Software\\Wine\\AppDefaults\\" + copyName;
    ASSERT_TRUE(WriteRegString(appKey, "Version", "win98"));

    SetEnvironmentVariableA(kChildVariable, "1");
    std::string commandLine = "\"" + copy + "\" --gtest_filter=Win9xFamilyTest.*";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    DWORD exitCode = 1;
    if (started) {
        TKernelHandle thread(process.hThread), child(process.hProcess);
        EXPECT_EQ(WaitForSingleObject(child.Get(), 120000), WAIT_OBJECT_0);
        GetExitCodeProcess(child.Get(), &exitCode);
    }
    DeleteRegKey(appKey, false);
    // Wine lets go of a program's file a moment after the program ended: the
    // copy must be gone before the scratch folder can be removed.
    for (int i = 0; i < 100 && FileExists(copy); ++i) {
        DeleteFileA(copy.c_str());
        Sleep(50);
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
