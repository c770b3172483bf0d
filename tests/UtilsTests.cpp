// Tests of the utils unit: message boxes and window helpers, and the system
// actions (restart, self-removal). Window tests need an X display and are
// skipped without one (Wine's CreateWindowExA fails, MessageBoxA returns at
// once); run the program under Xvfb to include them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "utils.h"
#include "zrRtl.h"

namespace {

// Folder of this test program, from argument 0 of the command line: under
// Wine without drive Z: only that keeps the "\\?\unix\..." form that CopyFileA
// understands.
std::string TestProgramFolder() {
    std::string line = GetCommandLineA();
    std::string self = !line.empty() && line[0] == '"' ? line.substr(1, line.find('"', 1) - 1)
                                                       : line.substr(0, line.find(' '));
    return self.substr(0, self.rfind('\\'));
}

// Starts a program without a console of ours: whatever it starts in turn
// (the batch files under test) then cannot print into the test's output or
// hold its pipe open.
TKernelHandle StartDetached(const std::string& commandLine, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, folder.c_str(),
                        &startup, &process))
        return TKernelHandle();
    TKernelHandle thread(process.hThread);
    return TKernelHandle(process.hProcess);
}

// A copy of the probe program (tests/fixtures/SysActionsProbe.cpp) under a
// name of its own, seen as a 9x program when win9x is set.
std::string CopyProbe(const std::string& folder, bool win9x, std::unique_ptr<TWin9xProgram>& family) {
    std::string name = UniqueName(win9x ? "probe9x" : "probe") + ".exe";
    std::string path = folder + "\\" + name;
    if (!CopyFileA((TestProgramFolder() + "\\SysActionsProbe.exe").c_str(), path.c_str(), TRUE)) return "";
    if (win9x) family = std::make_unique<TWin9xProgram>(name);
    return path;
}

// ------------------------------------------------------------ rectangles

struct TClampCase {
    const char* Name;
    RECT Rect;
    int Width, Height;
    RECT Expected;
};

const TClampCase kClampCases[] = {
    {"inside stays", {10, 10, 110, 110}, 800, 600, {10, 10, 110, 110}},
    {"1000 wide on 800 goes to x 0", {100, 50, 1100, 150}, 800, 600, {0, 50, 1000, 150}},
    {"beyond right and bottom", {700, 500, 900, 700}, 800, 600, {600, 400, 800, 600}},
    {"before left and top", {-50, -20, 50, 80}, 800, 600, {0, 0, 100, 100}},
    {"larger than the screen from inside", {300, 200, 1300, 1000}, 800, 600, {0, 0, 1000, 800}},
    {"larger than the screen from outside", {-400, -300, 600, 500}, 800, 600, {0, 0, 1000, 800}},
    {"exactly the screen", {0, 0, 800, 600}, 800, 600, {0, 0, 800, 600}},
};

TEST(ClampToScreen, ShiftsIntoTheScreenKeepingTheSize) {
    for (const TClampCase& c : kClampCases) {
        SCOPED_TRACE(c.Name);
        RECT r = c.Rect;
        ClampToArea(r, c.Width, c.Height);
        EXPECT_EQ(c.Expected.left, r.left);
        EXPECT_EQ(c.Expected.top, r.top);
        EXPECT_EQ(c.Expected.right, r.right);
        EXPECT_EQ(c.Expected.bottom, r.bottom);
    }
}

TEST(ClampToScreen, RectLargerThanThePrimaryScreenEndsAtTheTopLeft) {
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    RECT r = {50, 60, 50 + cx + 100, 60 + cy + 200};
    ClampToScreen(r);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(cx + 100, RectWidth(r));
    EXPECT_EQ(cy + 200, RectHeight(r));
}

// --------------------------------------------------------------- windows

TWindowHandle MakePopup(int x, int y, int width, int height, DWORD style = WS_POPUP) {
    return TWindowHandle(CreateWindowExA(0, "STATIC", "utils test", style, x, y, width, height, nullptr, nullptr,
                                         GetModuleHandleA(nullptr), nullptr));
}

bool HaveDisplay() { return MakePopup(0, 0, 10, 10).Valid(); }

#define SKIP_WITHOUT_DISPLAY() \
    if (!HaveDisplay()) GTEST_SKIP() << "no display: Wine creates no windows (run under Xvfb)"

RECT WorkArea() {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// The rectangle's centre lies at the work area's centre (1 pixel for rounding).
::testing::AssertionResult CentredInWorkArea(const RECT& r) {
    RECT work = WorkArea();
    int dx = (r.left + r.right) - (work.left + work.right);
    int dy = (r.top + r.bottom) - (work.top + work.bottom);
    if (std::abs(dx) <= 2 && std::abs(dy) <= 2) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window at (" << r.left << "," << r.top << ")-(" << r.right << ","
                                         << r.bottom << "), work area (" << work.left << "," << work.top << ")-("
                                         << work.right << "," << work.bottom << ")";
}

// A work area that leaves the top of the screen to a taskbar, for this
// session only (no SPIF_UPDATEINIFILE); the old one comes back afterwards.
class TTaskbarAtTop {
public:
    explicit TTaskbarAtTop(int height) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &Old, 0);
        RECT work = {0, height, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        Set = SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0) != 0;
    }
    ~TTaskbarAtTop() {
        if (Set) SystemParametersInfoA(SPI_SETWORKAREA, 0, &Old, 0);
    }
    bool Set = false;
private:
    RECT Old = {};
};

TEST(CenterInWorkArea, CentresAndKeepsOnScreen) {
    SKIP_WITHOUT_DISPLAY();
    // The centre of the area below the taskbar, not of the screen.
    TTaskbarAtTop taskbar(120);
    ASSERT_TRUE(taskbar.Set);
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    struct {
        const char* Name;
        int Width, Height;
        bool WiderThanScreen, TallerThanScreen;
    } const cases[] = {
        {"fits", 300, 200, false, false},
        {"wider than the screen", cx + 200, 100, true, false},
        {"taller than the screen", 100, cy + 200, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWindowHandle window = MakePopup(3, 4, c.Width, c.Height);
        ASSERT_TRUE(window);
        CenterInWorkArea(window.Get());
        RECT r = {};
        GetWindowRect(window.Get(), &r);
        EXPECT_EQ(c.Width, RectWidth(r));
        EXPECT_EQ(c.Height, RectHeight(r));
        if (c.WiderThanScreen)
            EXPECT_EQ(0, r.left);
        else
            EXPECT_LE(std::abs((r.left + r.right) - (WorkArea().left + WorkArea().right)), 2);
        if (c.TallerThanScreen)
            EXPECT_EQ(0, r.top);
        else
            EXPECT_LE(std::abs((r.top + r.bottom) - (WorkArea().top + WorkArea().bottom)), 2);
    }
}

TEST(ControlRectInParent, GivesTheControlInClientCoordinates) {
    SKIP_WITHOUT_DISPLAY();
    TWindowHandle parent = MakePopup(100, 80, 400, 300, WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(parent);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 20, 50, 30, parent.Get(), nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, child);
    RECT r = ControlRectInParent(parent.Get(), child);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(20, r.top);
    EXPECT_EQ(60, r.right);
    EXPECT_EQ(50, r.bottom);
}

// ------------------------------------------------------------ message boxes

// What a second thread saw of the box on the test's thread before pressing OK.
struct TSeenBox {
    bool Found = false;
    std::string Caption;
    RECT Rect = {};
    HWND Owner = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Shows a box with show() on this thread while a second thread finds it among
// this thread's windows, records it and presses OK. The second thread gives
// up when show() returns without a box.
TSeenBox ShowAndPressOk(const std::function<void()>& show) {
    TSeenBox seen;
    std::atomic<bool> returned{false};
    DWORD boxThread = GetCurrentThreadId();
    std::thread presser([&seen, &returned, boxThread] {
        HWND box = nullptr;
        WaitUntil([&] {
            EnumThreadWindows(boxThread, FindDialog, reinterpret_cast<LPARAM>(&box));
            return box != nullptr || returned;
        }, 10000);
        if (!box) return;
        Sleep(100);  // let the box settle where the hook put it
        seen.Found = true;
        char caption[256] = {};
        GetWindowTextA(box, caption, sizeof caption);
        seen.Caption = caption;
        GetWindowRect(box, &seen.Rect);
        seen.Owner = GetWindow(box, GW_OWNER);
        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    show();
    returned = true;
    presser.join();
    return seen;
}

// A window shown and activated after the box must stay where it was put:
// the centring hook is gone.
::testing::AssertionResult LaterActivationNotMoved() {
    TWindowHandle later = MakePopup(5, 7, 120, 90, WS_POPUP);
    if (!later) return ::testing::AssertionFailure() << "no window";
    ShowWindow(later.Get(), SW_SHOW);
    SetActiveWindow(later.Get());
    RECT r = {};
    GetWindowRect(later.Get(), &r);
    if (r.left == 5 && r.top == 7) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "moved to (" << r.left << "," << r.top << ")";
}

class MessageBoxes : public ::testing::Test {
protected:
    void TearDown() override {
        AppTitle.clear();
        OwnerWindow = nullptr;
    }
};

TEST_F(MessageBoxes, CaptionOwnerAndCentring) {
    SKIP_WITHOUT_DISPLAY();
    // The box ends in the centre of the work area, not over its owner. Wine
    // activates a box while creating it, before it sizes and centres the box
    // in the monitor's work area itself, so there the place seen is Wine's;
    // CenterInWorkArea has a test of its own.
    struct {
        const char* Name;
        const char* Title;
        bool Error;
        bool WithOwner;
        const char* Caption;
    } const cases[] = {
        {"error without title", "", true, false, "Error"},
        {"warning without title", "", false, false, "Warning"},
        {"error with title", "Test Uninstaller", true, false, "Test Uninstaller"},
        {"warning with title", "Test Uninstaller", false, false, "Test Uninstaller"},
        {"error owned by the main window", "", true, true, "Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        AppTitle = c.Title;
        // An owner in the screen's corner: the box is centred in the work
        // area all the same, not over its owner.
        TWindowHandle owner;
        if (c.WithOwner) {
            owner = MakePopup(0, 0, 200, 150, WS_POPUP);
            ASSERT_TRUE(owner);
        }
        OwnerWindow = owner.Get();
        TSeenBox seen = ShowAndPressOk([&] {
            if (c.Error)
                ShowErrorBox("Something went wrong.");
            else
                ShowWarningBox("Look out.");
        });
        ASSERT_TRUE(seen.Found);
        EXPECT_EQ(c.Caption, seen.Caption);
        EXPECT_EQ(owner.Get(), seen.Owner);
        EXPECT_TRUE(CentredInWorkArea(seen.Rect));
    }
    EXPECT_TRUE(LaterActivationNotMoved());
}

TEST_F(MessageBoxes, HookRemovedWhenTheBoxFails) {
    SKIP_WITHOUT_DISPLAY();
    // MessageBoxA refuses an owner that is no window any more, without ever
    // showing (and so activating) a box.
    HWND gone = MakePopup(0, 0, 10, 10).Get();
    int answer = -2;
    TSeenBox seen = ShowAndPressOk([&] { answer = CenteredMessageBox(gone, "Caption", "Text", MB_OK); });
    if (seen.Found) GTEST_SKIP() << "a box was shown for a destroyed owner";
    EXPECT_LE(answer, 0);  // 0 on Windows, -1 (the dialog's failure) under Wine
    EXPECT_TRUE(LaterActivationNotMoved());
}

// ------------------------------------------------------------- self-removal

// The batch file text of the 9x family, exactly as its command.com reads it.
TEST(WriteSelfDeleteBatch, PlainLoopOfThe9xFamily) {
    TTempDir dir;
    std::string batch = dir / "ABCDEFGH.bat";
    struct {
        const char* Name;
        std::string Exe, Folder;
        bool RemoveFolder;
        std::string Expected;
    } const cases[] = {
        {"with the folder", "C:\\Apps\\Tool\\unins.exe", "C:\\Apps\\Tool", true,
         ":try\r\ndel \"C:\\Apps\\Tool\\unins.exe\"\r\nif exist \"C:\\Apps\\Tool\\unins.exe\" goto try\r\n"
         "rd \"C:\\Apps\\Tool\"\r\ndel \"" + batch + "\"\r\n"},
        {"without the folder", "C:\\Apps\\Tool\\unins.exe", "C:\\Apps\\Tool", false,
         ":try\r\ndel \"C:\\Apps\\Tool\\unins.exe\"\r\nif exist \"C:\\Apps\\Tool\\unins.exe\" goto try\r\n"
         "del \"" + batch + "\"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteSelfDeleteBatch(batch, c.Exe, c.Folder, c.RemoveFolder, 0);
        EXPECT_EQ(c.Expected, ReadFileBytes(batch));
    }
}

TEST(WriteSelfDeleteBatch, LinesAreInTheOemCodePage) {
    if (GetACP() != 1252 || GetOEMCP() != 437) GTEST_SKIP() << "needs code pages 1252 and 437";
    TTempDir dir;
    std::string batch = dir / "ABCDEFGH.bat";
    WriteSelfDeleteBatch(batch, "C:\\Caf\xE9\\u.exe", "C:\\Caf\xE9", false, 0);
    EXPECT_NE(std::string::npos, ReadFileBytes(batch).find("del \"C:\\Caf\x82\\u.exe\""));
}

TEST(WriteSelfDeleteBatch, FailureToCreateRaisesAnIoError) {
    TTempDir dir;
    for (const std::string& path : {dir / "missing\\ABCDEFGH.bat", dir.Path()}) {
        SCOPED_TRACE(path);
        EXPECT_THROW(WriteSelfDeleteBatch(path, "C:\\x\\u.exe", "C:\\x", true, 0), EInOutError);
    }
}

// A program file that cannot be deleted must not keep the NT batch file
// looping for good: it gives up after its tries and still deletes itself.
TEST(WriteSelfDeleteBatch, BoundedLoopGivesUpOnAFileThatStays) {
    enum TLock { kNone, kOpenWithoutSharing, kReadOnly };
    struct {
        const char* Name;
        TLock Lock;
        bool FileStays;
    } const cases[] = {
        {"deletable file", kNone, false},
        {"file in use", kOpenWithoutSharing, true},
        {"read-only file", kReadOnly, true},
    };
    const int kTries = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        std::string apps = dir / "Apps";
        std::string tool = apps + "\\Tool";
        std::string exe = tool + "\\unins.exe";
        std::string batch = apps + "\\ABCDEFGH.bat";
        ASSERT_TRUE(CreateDirectoryA(apps.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(tool.c_str(), nullptr));
        WriteFileBytes(exe, "MZ");
        TFileHandle held;
        if (c.Lock == kOpenWithoutSharing) {
            held.Reset(CreateFileA(exe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
        }
        if (c.Lock == kReadOnly) SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY);

        WriteSelfDeleteBatch(batch, exe, tool, true, kTries);
        DWORD start = GetTickCount();
        TKernelHandle process = StartDetached("\"" + batch + "\"", apps);
        ASSERT_TRUE(process);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 60000)) << "the batch file did not give up";
        DWORD elapsed = GetTickCount() - start;

        EXPECT_FALSE(FileExists(batch));
        EXPECT_EQ(c.FileStays, FileExists(exe));
        EXPECT_EQ(c.FileStays, FolderExists(tool));
        // About a second between tries, so the shipped bound lasts minutes.
        if (c.FileStays) {
            EXPECT_GE(elapsed, 1000u * (kTries - 1));
        }
        held.Reset();
        SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The probe program removes itself as the uninstaller does at its end: it
// lies in Apps\Tool, the batch file beside Tool in Apps.
TEST(DeleteSelf, RemovesTheProgramItsFolderAndTheBatchFile) {
    struct {
        const char* Name;
        bool Win9x;
        bool RemoveFolder;
        bool UserFile;
    } const cases[] = {
        {"NT family", false, true, false},
        {"NT family, user file keeps the folder", false, true, true},
        {"NT family, folder not asked for", false, false, false},
        {"9x family", true, true, false},
        {"9x family, user file keeps the folder", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        std::string apps = dir / "Apps";
        std::string tool = apps + "\\Tool";
        ASSERT_TRUE(CreateDirectoryA(apps.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(tool.c_str(), nullptr));
        if (c.UserFile) WriteFileBytes(tool + "\\user.txt", "keep me");
        std::unique_ptr<TWin9xProgram> family;
        std::string exe = CopyProbe(tool, c.Win9x, family);
        ASSERT_FALSE(exe.empty());

        EXPECT_EQ(0u, RunAndWaitExit("\"" + exe + "\" deleteself" + (c.RemoveFolder ? "" : " keep"), dir.Path()));
        bool toolStays = c.UserFile || !c.RemoveFolder;
        std::vector<std::string> expectedApps;
        if (toolStays) expectedApps.push_back("Tool");
        EXPECT_TRUE(WaitUntil([&] { return !FileExists(exe) && FolderEntries(apps) == expectedApps; }, 30000))
            << "Apps still holds " << ::testing::PrintToString(FolderEntries(apps));
        if (c.UserFile) {
            EXPECT_TRUE(FileExists(tool + "\\user.txt"));
        }
    }
}

// ---------------------------------------------------------------- restart

TEST(ExitWindowsWithPrivilege, EnablesTheShutdownPrivilegeOnlyWhereNeeded) {
    // The stand-in must answer before any ExitWindowsEx is asked for: the
    // real wineboot would end this prefix's session.
    TStandInWineboot wineboot;
    ASSERT_TRUE(wineboot.Ready()) << "the stand-in wineboot did not run";
    TTempDir dir;

    // Bit 0: the routine's result; bit 1: privilege enabled before; bit 2:
    // enabled after. Wine's ExitWindowsEx passes "--shutdown" to wineboot
    // unless EWX_REBOOT is set, and "--kill" for EWX_FORCE.
    struct {
        const char* Name;
        bool Win9x;
        const char* Args;
        bool PrivilegeEnabled;
        bool Reboot;
        bool Force;
    } const cases[] = {
        {"NT log-off", false, "exitwindows 0", false, false, false},
        {"NT forced log-off", false, "exitwindows 4", false, false, true},
        {"NT shutdown", false, "exitwindows 1", true, false, false},
        {"NT power-off", false, "exitwindows 8", true, false, false},
        {"NT restart", false, "restart 0", true, true, false},
        {"NT forced restart", false, "restart 1", true, true, true},
        {"9x restart", true, "restart 0", false, true, false},
        {"9x shutdown", true, "exitwindows 1", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::unique_ptr<TWin9xProgram> family;
        std::string exe = CopyProbe(dir.Path(), c.Win9x, family);
        ASSERT_FALSE(exe.empty());

        DWORD code = RunAndWaitExit("\"" + exe + "\" " + c.Args, dir.Path());
        ASSERT_NE(static_cast<DWORD>(STILL_ACTIVE), code);
        EXPECT_EQ(1u, code & 1) << "ExitWindowsEx refused";
        EXPECT_EQ(0u, code & 2) << "the privilege was enabled from the start";
        EXPECT_EQ(c.PrivilegeEnabled, (code & 4) != 0);
        std::string request = wineboot.TakeRequests(10000);
        ASSERT_FALSE(request.empty()) << "the stand-in wineboot was not started";
        EXPECT_EQ(!c.Reboot, request.find("--shutdown") != std::string::npos) << request;
        EXPECT_EQ(c.Force, request.find("--kill") != std::string::npos) << request;
    }
}

}  // namespace
