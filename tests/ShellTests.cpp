// Starting programs and documents (RunAndWait) and the shell's special
// folders, with copies of LaunchProbe.exe as the started programs.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "LaunchRecord.h"
#include "TestSupport.h"
#include "zrRtl.h"
#include "zrShell.h"
#include "zrStrUtils.h"

namespace {

// A scratch folder that is the current folder while the test runs, with the
// probe's record in it, and COM set up as the uninstall worker has it.
class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() : Record(Dir / "record.log"), Current(Dir.Path()) {
        CoInitialize(nullptr);
        CreateDirectoryA((Dir / "sub").c_str(), nullptr);
    }
    ~RunAndWaitTest() override { CoUninitialize(); }

    // The probe copied into the scratch folder (or a subfolder) as name.
    std::string Probe(const std::string& name) {
        std::string path = Dir / name;
        EXPECT_TRUE(CopyFileA(BuiltTestProgram("LaunchProbe.exe").c_str(), path.c_str(), FALSE)) << path;
        return path;
    }
    // "%D" in a text stands for the scratch folder.
    std::string Expand(const std::string& text) const { return StrReplaceAll(text, "%D", Dir.Path()); }

    TTempDir Dir;
    TLaunchRecord Record;
    TCurrentFolder Current;
};

// A file type made for one test: documents with its extension open with
// command. Registered under HKEY_CLASSES_ROOT, removed again at the end.
class TTestFileType {
public:
    TTestFileType(const std::string& extension, const std::string& command)
        : Extension(extension), ProgId(UniqueName("UninstallTests.Type")) {
        SetDefault(Extension, ProgId);
        SetDefault(ProgId + "\\shell\\open\\command", command);
    }
    ~TTestFileType() {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, Extension.c_str());
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ProgId.c_str());
    }
    TTestFileType(const TTestFileType&) = delete;
    TTestFileType& operator=(const TTestFileType&) = delete;

private:
    static void SetDefault(const std::string& subKey, const std::string& value) {
        TKeyHandle key;
        RegCreateKeyA(HKEY_CLASSES_ROOT, subKey.c_str(), key.Put());
        RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    std::string Extension;
    std::string ProgId;
};

}  // namespace

// An existing program file is started with CreateProcessA: the command line
// is the quoted name and the parameters, the working folder the unquoted and
// trimmed Directory (or the current one), the show command is handed over,
// and the result is the program's exit code.
TEST_F(RunAndWaitTest, ExistingProgramsStartDirectly) {
    struct Row {
        const char *file, *parameters, *directory;
        int showCmd;
        const char *commandLine, *folder;
        int result;
    } rows[] = {
        {"probe.exe", "exit=3", "", SW_SHOWNORMAL, "\"%D\\probe.exe\" exit=3", "%D", 3},
        // The extension test ignores case; no parameters leave no blank behind.
        {"SETUP.EXE", "", "", SW_HIDE, "\"%D\\SETUP.EXE\"", "%D", 0},
        {"probe.exe", "a \"b c\" ", "\"%D\\sub\"", SW_SHOWMAXIMIZED, "\"%D\\probe.exe\" a \"b c\"", "%D\\sub", 0},
        {"probe.exe", "x", "  %D\\sub ", SW_SHOWMINNOACTIVE, "\"%D\\probe.exe\" x", "%D\\sub", 0},
        {"probe.exe", "exit=4294967295", "", SW_SHOWNORMAL, "\"%D\\probe.exe\" exit=4294967295", "%D", -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.commandLine);
        DeleteFileA(Record.Path.c_str());
        std::string program = Probe(r.file);
        EXPECT_EQ(RunAndWait(nullptr, program, r.parameters, Expand(r.directory), r.showCmd), r.result);
        auto starts = Record.Starts();
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].CommandLine, Expand(r.commandLine));
        EXPECT_EQ(starts[0].Folder, Expand(r.folder));
        EXPECT_EQ(starts[0].Show, IntToStr(r.showCmd));
        EXPECT_EQ(Record.Sequence(), "start end");  // awaited to its end
    }
}

TEST_F(RunAndWaitTest, BatchFileRunsDirectlyAndGivesItsExitCode) {
    WriteFileBytes(Dir / "stop.BAT", "@exit 6\r\n");
    EXPECT_EQ(RunAndWait(nullptr, Dir / "stop.BAT", "", "", SW_HIDE), 6);
}

// What is not an existing program file goes to the shell, unchanged: a
// quoted program name, a document of a registered type, a missing file.
TEST_F(RunAndWaitTest, EverythingElseGoesThroughTheShell) {
    std::string probe = Probe("probe.exe");
    TTestFileType type(".zrlaunchtest", "\"" + probe + "\" \"%1\" exit=5");
    WriteFileBytes(Dir / "doc.zrlaunchtest", "x");
    WriteFileBytes(Dir / "doc.zrnoassoctest", "x");
    struct Row {
        const char *file, *parameters, *directory;
        int result;
        const char* commandLine;  // nullptr: nothing started
        const char* folder;
    } rows[] = {
        // The existence test sees the quotes and fails, yet the shell starts it.
        {"\"%D\\probe.exe\"", "exit=4", "%D\\sub", 4, "\"%D\\probe.exe\" exit=4", "%D\\sub"},
        {"%D\\doc.zrlaunchtest", "", "%D\\sub", 5, "\"%D\\probe.exe\" \"%D\\doc.zrlaunchtest\" exit=5", "%D\\sub"},
        {"doc.zrlaunchtest", "", "", 5, "\"%D\\probe.exe\" \"%D\\doc.zrlaunchtest\" exit=5", "%D"},
        {"%D\\doc.zrnoassoctest", "", "", -1, nullptr, nullptr},
        {"%D\\missing.exe", "", "", -1, nullptr, nullptr},
        {"%D\\sub\\probe.exe", "", "", -1, nullptr, nullptr},
        {"", "", "", -1, nullptr, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        DeleteFileA(Record.Path.c_str());
        EXPECT_EQ(RunAndWait(nullptr, Expand(r.file), r.parameters, Expand(r.directory), SW_SHOWMAXIMIZED), r.result);
        auto starts = Record.Starts();
        if (!r.commandLine) {
            EXPECT_TRUE(starts.empty());
            continue;
        }
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].CommandLine, Expand(r.commandLine));
        EXPECT_EQ(starts[0].Folder, Expand(r.folder));
        EXPECT_EQ(starts[0].Show, IntToStr(SW_SHOWMAXIMIZED));
        EXPECT_EQ(Record.Sequence(), "start end");
    }
}

// The wait lasts until the program ends, and the calling thread's messages
// are dispatched meanwhile.
TEST_F(RunAndWaitTest, WaitsForTheEndWhileDrainingTheThreadsQueue) {
    std::string probe = Probe("probe.exe");
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0));
    DWORD start = GetTickCount();
    EXPECT_EQ(RunAndWait(nullptr, probe, "sleep=600 exit=2", "", SW_HIDE), 2);
    EXPECT_GE(GetTickCount() - start, 600u);
    EXPECT_EQ(Record.Sequence(), "start end");
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

TEST(SpecialFolders, EachKindIsItsShellFolder) {
    struct Row {
        TSpecialFolder kind;
        int csidl;
    } rows[] = {
        {TSpecialFolder::DesktopDirectory, CSIDL_DESKTOPDIRECTORY},
        {TSpecialFolder::Fonts, CSIDL_FONTS},
        {TSpecialFolder::NetHood, CSIDL_NETHOOD},
        {TSpecialFolder::Personal, CSIDL_PERSONAL},
        {TSpecialFolder::Programs, CSIDL_PROGRAMS},
        {TSpecialFolder::Recent, CSIDL_RECENT},
        {TSpecialFolder::SendTo, CSIDL_SENDTO},
        {TSpecialFolder::StartMenu, CSIDL_STARTMENU},
        {TSpecialFolder::Startup, CSIDL_STARTUP},
        {TSpecialFolder::Templates, CSIDL_TEMPLATES},
        {TSpecialFolder::CommonStartMenu, CSIDL_COMMON_STARTMENU},
        {TSpecialFolder::CommonPrograms, CSIDL_COMMON_PROGRAMS},
        {TSpecialFolder::CommonStartup, CSIDL_COMMON_STARTUP},
        {TSpecialFolder::CommonDesktopDirectory, CSIDL_COMMON_DESKTOPDIRECTORY},
    };
    // Wine's item-list path of Documents ends in "\", its folder path does not.
    auto withoutFinalBackslash = [](std::string path) {
        if (!path.empty() && path.back() == '\\') path.pop_back();
        return path;
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.csidl);
        char expected[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, expected, r.csidl, FALSE));
        EXPECT_EQ(withoutFinalBackslash(SpecialFolderPath(r.csidl)), expected);
        EXPECT_EQ(withoutFinalBackslash(SpecialFolder(r.kind)), expected);
    }
}

TEST(SpecialFolders, FolderWithoutAFileSystemPathIsEmpty) {
    EXPECT_EQ(SpecialFolderPath(CSIDL_DRIVES), "");  // "My Computer" is no folder on disk
    EXPECT_EQ(SpecialFolderPath(0x7E), "");          // no such folder
}
