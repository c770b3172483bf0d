#include <gtest/gtest.h>

#include <float.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "utils.h"
#include "zrFileUtils.h"

namespace {

using TLines = std::vector<std::string>;

// Reads lines until FileAtEnd, the way the INI file object reads a file. The
// bound stops a faulty reader instead of hanging the test run.
TLines ReadAllLines(HANDLE file) {
    TLines lines;
    while (!FileAtEnd(file) && lines.size() < 100) lines.push_back(ReadFileLine(file));
    return lines;
}

TFileHandle OpenForRead(const std::string& path) {
    return TFileHandle(OpenFileEx(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
}

// Makes the scratch folder the current directory for one test.
class TCurrentDirectory {
public:
    explicit TCurrentDirectory(const std::string& folder) {
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        Previous = previous;
        SetCurrentDirectoryA(folder.c_str());
    }
    // A program started from a Linux folder outside the prefix's drives may
    // have a current directory it cannot set again: then leave for C:\ so
    // the scratch folder can go.
    ~TCurrentDirectory() {
        if (!SetCurrentDirectoryA(Previous.c_str())) SetCurrentDirectoryA("C:\\");
    }
    TCurrentDirectory(const TCurrentDirectory&) = delete;
    TCurrentDirectory& operator=(const TCurrentDirectory&) = delete;
private:
    std::string Previous;
};

unsigned short X87ControlWord() {
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

}  // namespace

// ------------------------------------------------------------- line access

TEST(FileLines, ReadFileLineSplitsAtCrAndDropsEveryLf) {
    const std::string x250(250, 'x');
    const std::string x99(99, 'x');
    const std::string x100(100, 'x');
    struct TRow {
        const char* What;
        std::string Content;
        TLines Lines;
    } rows[] = {
        {"CR LF lines: the final LF reads as one empty line", "a\r\nb\r\n", {"a", "b", ""}},
        {"250 characters across three reads", x250, {x250}},
        {"CR in the third piece: the position steps back", x250 + "\r\ny", {x250, "y"}},
        {"CR as the last byte of a piece", x99 + "\r\nz", {x99, "z"}},
        {"CR as the first byte of the second piece", x100 + "\r\nz", {x100, "z"}},
        {"LF-only line ends make one line", "a\nb\nc\n", {"abc"}},
        {"CR alone ends a line", "a\r\rb", {"a", "", "b"}},
        {"no line end at all", "last", {"last"}},
        {"empty file", "", {}},
    };
    TTempDir dir;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        WriteFileBytes(dir / "lines.txt", row.Content);
        TFileHandle file = OpenForRead(dir / "lines.txt");
        ASSERT_TRUE(file.Valid());
        EXPECT_EQ(ReadAllLines(file.Get()), row.Lines);
        EXPECT_EQ(FilePosition(file.Get()), row.Content.size());
        EXPECT_EQ(ReadFileLine(file.Get()), "");  // at the end a read yields nothing
    }
}

TEST(FileLines, FailedReadEndsTheLineAndTheFile) {
    TTempDir dir;
    WriteFileBytes(dir / "data.txt", "abc\r\ndef\r\n");
    // ReadFile fails with ERROR_ACCESS_DENIED on a handle opened for writing only.
    TFileHandle file(OpenFileEx(dir / "data.txt", GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(file.Valid());
    EXPECT_EQ(ReadFileLine(file.Get()), "");
    EXPECT_TRUE(FileAtEnd(file.Get()));  // a reader looping until FileAtEnd stops
}

TEST(FileLines, WriteFileLineWritesAtThePositionAndReadsBack) {
    TTempDir dir;
    const std::string path = dir / "out.txt";
    {
        TFileHandle file(OpenFileEx(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
        ASSERT_TRUE(file.Valid());
        for (const char* line : {"[Section]", "", "Key=Value"}) WriteFileLine(file.Get(), line);
        EXPECT_EQ(FilePosition(file.Get()), 24u);
    }
    EXPECT_EQ(ReadFileBytes(path), "[Section]\r\n\r\nKey=Value\r\n");
    {
        TFileHandle reader = OpenForRead(path);
        EXPECT_EQ(ReadAllLines(reader.Get()), (TLines{"[Section]", "", "Key=Value", ""}));
    }

    WriteFileBytes(path, "0123456789");
    TFileHandle file(OpenFileEx(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    SetFilePointer(file.Get(), 2, nullptr, FILE_BEGIN);
    WriteFileLine(file.Get(), "ab");
    file.Reset();
    EXPECT_EQ(ReadFileBytes(path), "01ab\r\n6789");  // overwrites, does not insert or append
}

TEST(FileLines, OpenFileExAndCloseFileHandle) {
    TTempDir dir;
    TFileHandle missing(OpenFileEx(dir / "missing.txt", GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_EQ(missing.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    TFileHandle created(OpenFileEx(dir / "new.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(created.Valid());
    EXPECT_TRUE(FileAtEnd(created.Get()));  // position 0 of an empty file
    CloseFileHandle(created);
    EXPECT_FALSE(created.Valid());
    // Closed for real: a handle without sharing would refuse the delete.
    EXPECT_TRUE(DeleteFileA((dir / "new.txt").c_str()));
}

// ------------------------------------------------------------------- paths

TEST(Paths, AddBackslashUnquotesThenEndsWithOneBackslash) {
    struct TRow {
        const char* Path;
        const char* Expected;
    } rows[] = {
        {"", ""},
        {"C:\\App", "C:\\App\\"},
        {"C:\\App\\", "C:\\App\\"},
        {"C:", "C:\\"},
        {"\"C:\\Program Files\"", "C:\\Program Files\\"},
        {"\"C:\\Program Files\\\"", "C:\\Program Files\\"},
        {"\"C:\\a \"\"b\"\"\"", "C:\\a \"b\"\\"},  // a doubled quote stands for one
        {"\"C:\\open", "C:\\open\\"},               // no closing quote: the rest
        {"\"C:\\x\" tail", "C:\\x\\"},              // text after the closing quote goes
        {"\"\"", ""},                               // empty once unquoted: no backslash
        {"C:\\a \"b\"", "C:\\a \"b\"\\"},           // unquoted only at a leading quote
    };
    for (const TRow& row : rows) EXPECT_EQ(AddBackslash(row.Path), row.Expected) << "path: " << row.Path;
}

TEST(Paths, RemoveBackslashDropsOneFinalBackslash) {
    struct TRow {
        const char* Path;
        const char* Expected;
    } rows[] = {
        {"", ""}, {"\\", ""}, {"C:\\", "C:"}, {"C:\\App", "C:\\App"}, {"C:\\App\\\\", "C:\\App\\"},
    };
    for (const TRow& row : rows) EXPECT_EQ(RemoveBackslash(row.Path), row.Expected) << "path: " << row.Path;
}

// In code page 932 the character 0x95 0x5C ends in the byte of "\". Runs only
// when the system code page is 932 (Wine: LC_ALL=ja_JP.UTF-8, with that
// locale generated on the Linux side).
TEST(Paths, DoubleByteCharacterEndingIn5CIsNoBackslash) {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    const std::string dbcs = "\x95\x5C";
    EXPECT_EQ(AddBackslash("C:\\" + dbcs), "C:\\" + dbcs + "\\");
    EXPECT_EQ(RemoveBackslash("C:\\" + dbcs), "C:\\" + dbcs);
    EXPECT_EQ(RemoveBackslash("C:\\" + dbcs + "\\"), "C:\\" + dbcs);
    TTempDir dir;
    ForceFolders(dir / ("a" + dbcs + "\\b"));
    EXPECT_TRUE(DirExists(dir / ("a" + dbcs + "\\b")));
}

TEST(Paths, DirExistsOnlyForFolders) {
    TTempDir dir;
    WriteFileBytes(dir / "file.txt", "x");
    EXPECT_TRUE(DirExists(dir.Path()));
    EXPECT_TRUE(DirExists(dir.Path() + "\\"));
    EXPECT_TRUE(DirExists("C:\\"));
    EXPECT_FALSE(DirExists(dir / "file.txt"));
    EXPECT_FALSE(DirExists(dir / "missing"));
    EXPECT_FALSE(DirExists(""));
}

TEST(Paths, ForceFoldersCreatesMissingParents) {
    struct TRow {
        const char* What;
        const char* Path;    // below the scratch folder
        const char* Folder;  // that must exist afterwards ("" for none)
    } rows[] = {
        {"three missing levels", "\\one\\two\\three", "\\one\\two\\three"},
        {"a final backslash", "\\four\\five\\", "\\four\\five"},
        {"an existing folder", "\\one", "\\one"},
        {"below a file: nothing, no error", "\\file.txt\\sub", ""},
    };
    TTempDir dir;
    WriteFileBytes(dir / "file.txt", "x");
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        ForceFolders(dir.Path() + row.Path);
        if (*row.Folder) {
            EXPECT_TRUE(FolderExists(dir.Path() + row.Folder));
        }
    }
    EXPECT_FALSE(FolderExists(dir / "file.txt\\sub"));
    // Drive roots and an empty path are left alone, whether or not the drive exists.
    for (const char* root : {"", "C:", "C:\\", "Q:", "Q:\\"}) ForceFolders(root);
    EXPECT_FALSE(FolderExists("Q:\\"));
}

TEST(Paths, ShortPathNameGivesTheShortFormOrThePathItself) {
    TTempDir dir;
    const std::string longName = dir / "A Long Folder Name";
    ASSERT_TRUE(CreateDirectoryA(longName.c_str(), nullptr));
    std::string shortName = ShortPathName(longName);
    EXPECT_NE(shortName, longName);
    EXPECT_EQ(shortName.find(' '), std::string::npos);
    EXPECT_TRUE(FolderExists(shortName));
    EXPECT_EQ(ShortPathName(dir / "missing folder"), dir / "missing folder");
}

TEST(Paths, FileSizeByNameTakesTheFirstMatchAndItsLow32Bits) {
    TTempDir dir;
    WriteFileBytes(dir / "data.bin", std::string(1234, 'd'));
    {
        // Sparse: 4 GiB and 7 bytes cost no disk space.
        TFileHandle big(CreateFileA((dir / "big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(big.Valid());
        LARGE_INTEGER size;
        size.QuadPart = 0x100000007LL;
        ASSERT_TRUE(SetFilePointerEx(big.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(big.Get()));
    }
    TCurrentDirectory current(dir.Path());
    struct TRow {
        std::string Name;
        long long Size;
    } rows[] = {
        {dir / "data.bin", 1234},
        {"data.bin", 1234},  // relative to the current directory
        {dir / "big.bin", 7},
        {dir / "d*.bin", 1234},
        {dir / "missing.bin", -1},
        {"", -1},
    };
    for (const TRow& row : rows) EXPECT_EQ(FileSizeByName(row.Name), row.Size) << "name: " << row.Name;
}

// ---------------------------------------------------------- system queries

TEST(SystemQueries, ModulePathAndWindowsDirectory) {
    std::string module = ModulePath();
    ASSERT_GT(module.size(), 18u);
    EXPECT_TRUE(SameText(module.substr(module.size() - 18), "FileUtilsTests.exe")) << module;
    EXPECT_EQ(module.find('\0'), std::string::npos);

    std::string windows = WindowsDirectory();
    EXPECT_TRUE(SameText(windows, "C:\\windows")) << windows;
    EXPECT_EQ(windows.find('\0'), std::string::npos);  // no trailing zero
}

TEST(SystemQueries, LoadLibraryQuietKeepsErrorModeAndFloatingPointControl) {
    // Found in the program's folder. (A program started from outside the
    // prefix's drives has no usable absolute module path under Wine.)
    const std::string probe = "LoadProbe.dll";
    const UINT callerMode = SEM_NOOPENFILEERRORBOX;
    UINT oldMode = SetErrorMode(callerMode);
    _clearfp();
    const unsigned int control = _control87(0, 0);
    const unsigned short x87 = X87ControlWord();
    SetEnvironmentVariableA("LOAD_PROBE_ERROR_MODE", nullptr);

    TModuleHandle module(LoadLibraryQuiet(probe, false));
    EXPECT_TRUE(module.Valid());
    char seen[16] = "";
    GetEnvironmentVariableA("LOAD_PROBE_ERROR_MODE", seen, sizeof seen);
    EXPECT_EQ(std::string(seen), std::to_string(SEM_FAILCRITICALERRORS));  // during the load
    EXPECT_EQ(SetErrorMode(oldMode), callerMode);                          // after it
    EXPECT_EQ(_control87(0, 0), control);
    EXPECT_EQ(X87ControlWord(), x87);

    TModuleHandle missing(LoadLibraryQuiet("C:\\missing\\LoadProbe.dll", true));
    EXPECT_FALSE(missing.Valid());
    EXPECT_EQ(_control87(0, 0), control);
}

TEST(SystemQueries, StrToIntOrZero) {
    struct TRow {
        const char* Text;
        int Value;
    } rows[] = {{"12", 12}, {"-5", -5}, {"$1F", 31}, {"", 0}, {"abc", 0}, {"12px", 0}};
    for (const TRow& row : rows) EXPECT_EQ(StrToIntOrZero(row.Text), row.Value) << "text: " << row.Text;
}

// ------------------------------------------------------------ message pump

namespace {

// Takes every message left in this thread's queue; true when one was msg.
bool DrainQueue(UINT msg) {
    bool found = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) found = found || message.message == msg;
    return found;
}

}  // namespace

TEST(MessagePump, DispatchesAllAndStopsAtQuitLeavingTheRestQueued) {
    DrainQueue(0);
    const DWORD thread = GetCurrentThreadId();
    ASSERT_TRUE(PostThreadMessageA(thread, WM_APP + 1, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(thread, WM_APP + 2, 0, 0));
    PumpMessages();
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));  // all processed

    ASSERT_TRUE(PostThreadMessageA(thread, WM_APP + 1, 0, 0));
    // Posted in order; PostQuitMessage would deliver it only once the queue is empty.
    ASSERT_TRUE(PostThreadMessageA(thread, WM_QUIT, 3, 0));
    ASSERT_TRUE(PostThreadMessageA(thread, WM_APP + 3, 0, 0));
    PumpMessages();
    // The quit message is taken and not posted again; the one behind it stays.
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 3));
    EXPECT_FALSE(DrainQueue(WM_APP + 1));
}
