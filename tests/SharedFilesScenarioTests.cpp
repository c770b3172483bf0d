// Shared files: the counters under SharedDLLs, the files kept for other
// products, and the prompt about a file that nobody else counts.
// The silent runs use the real program. The prompt needs the program's
// windows, which the real program reaches only through its wizard pages; so
// its tests run the processors in this process instead, on a worker thread
// as the real run does, with DLG_DELSHARED linked in from Uninstall.rc, while
// the main thread pumps messages and answers each prompt by window messages.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "Uninstall.h"
#include "resource.h"
#include "utils.h"
#include "zrRegIni.h"

namespace {

const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A counter: its REG_DWORD, or no value at all.
using TCount = std::optional<DWORD>;
const TCount kNoValue;

// SharedDLLs values of the test's files, each put back (normally: deleted)
// when the object goes.
class TSharedCounters {
public:
    void Set(const std::string& path, TCount count) {
        Saved.push_back(std::make_unique<TSavedRegValue>(HKEY_LOCAL_MACHINE, kSharedDlls, path));
        HKEY key = Saved.back()->Get();
        ASSERT_NE(key, nullptr);
        if (count) {
            DWORD value = *count;
            RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        } else {
            RegDeleteValueA(key, path.c_str());
        }
    }
    static TCount Get(const std::string& path) {
        TKeyHandle key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
            return kNoValue;
        DWORD value = 0, size = sizeof value;
        if (RegQueryValueExA(key.Get(), path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS)
            return kNoValue;
        return value;
    }

private:
    std::vector<std::unique_ptr<TSavedRegValue>> Saved;
};

std::string CountText(TCount count) { return count ? std::to_string(*count) : std::string("none"); }

// Whether a top-level window can be made: under Wine without an X display
// CreateWindowExA fails, and so does every dialog.
bool HaveDisplay() {
    TWindowHandle probe(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr));
    return probe.Valid();
}

const char kLogTexts[] =
    "18=Releasing %s\r\n"
    "[Dialog.DLG_DELSHARED]\r\n"
    "Caption=Remove Shared File?\r\n"
    "101=Nothing else counts this file.||Remove it?\r\n"
    "103=File name:\r\n"
    "105=Located in:\r\n"
    "107=Yes\r\n108=Yes to All\r\n109=No\r\n110=No to All\r\n"
    "999=no such control\r\n";

// The program's state for running processors in this process, on the log
// of a scratch folder; put back to empty lists afterwards.
class TInProcessRun {
public:
    TInProcessRun(const std::string& logPath, const std::string& sections, bool silent) : LogPath(logPath) {
        WriteFileBytes(logPath, "[Strings]\r\nAppID=SharedTest\r\n" + std::string(kLogTexts) + sections);
        TUninstallState& s = UninstallState;
        s.LogPath = logPath;
        s.SectionLines.reset(new TStringList);
        s.KeptSharedFiles.reset(new TStringList);
        s.Silent = silent;
        s.RemoveDataFiles = false;
        s.PageWindow = nullptr;
        s.StepsDone = 0;
        s.StepsTotal = 0;
    }
    ~TInProcessRun() {
        CloseIniFile(LogPath);
        OwnerWindow = nullptr;
        UninstallState.LogPath.clear();
    }

private:
    std::string LogPath;
};

// ReleaseSharedFiles, then the CopyFiles processor that honours its
// decisions, on a worker thread like the real run.
DWORD WINAPI ReleaseThenRemoveFiles(LPVOID) {
    try {
        ReleaseSharedFiles();
        RemoveFiles();
        return 0;
    } catch (...) {
        return 1;
    }
}

// One answer to a prompt: a button, or the Escape key.
const int PRESS_ESCAPE = 0;

struct TPromptSeen {
    std::string Caption, Question, NameLabel, Name, FolderLabel, Folder;
    HWND Owner;
};

std::string ItemText(HWND dialog, int id) {
    char buffer[1024] = "";
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

BOOL CALLBACK FindPrompt(HWND window, LPARAM found) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void PumpOnce() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(5);
}

// Runs the worker to its end while this thread pumps messages. Each prompt
// the worker shows is read and answered with the next of presses; a prompt
// beyond them is answered "keep" and still recorded. Gives the prompts seen.
std::vector<TPromptSeen> RunAnswering(const std::vector<int>& presses, DWORD& exitCode) {
    std::vector<TPromptSeen> seen;
    DWORD threadId = 0;
    TKernelHandle thread(CreateThread(nullptr, 0, ReleaseThenRemoveFiles, nullptr, 0, &threadId));
    exitCode = STILL_ACTIVE;
    if (!thread) return seen;
    DWORD deadline = GetTickCount() + 60000;
    while (WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && GetTickCount() < deadline) {
        PumpOnce();
        HWND prompt = nullptr;
        EnumThreadWindows(threadId, FindPrompt, reinterpret_cast<LPARAM>(&prompt));
        if (!prompt) continue;
        char caption[256] = "";
        GetWindowTextA(prompt, caption, sizeof caption);
        seen.push_back({caption, ItemText(prompt, IDC_DELSHARED_QUESTION), ItemText(prompt, IDC_DELSHARED_NAMELABEL),
                        ItemText(prompt, IDC_DELSHARED_NAME), ItemText(prompt, IDC_DELSHARED_FOLDERLABEL),
                        ItemText(prompt, IDC_DELSHARED_FOLDER), GetWindow(prompt, GW_OWNER)});
        int press = seen.size() <= presses.size() ? presses[seen.size() - 1] : IDC_DELSHARED_NO;
        // The modal loop of the worker's prompt hands keys to
        // IsDialogMessageA, which turns Escape into IDCANCEL.
        if (press == PRESS_ESCAPE)
            PostMessageA(prompt, WM_KEYDOWN, VK_ESCAPE, 0);
        else
            PostMessageA(GetDlgItem(prompt, press), BM_CLICK, 0, 0);
        while (IsWindow(prompt) && GetTickCount() < deadline) PumpOnce();
    }
    GetExitCodeThread(thread.Get(), &exitCode);
    return seen;
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

}  // namespace

// ------------------------------------------------------ the real program

// One silent run whose log holds a shared file per row: a counter above 1 is
// counted down and the file stays; 1, none or less is released with the
// file, as the answer 10 would (nobody is asked); a shared file the product
// did not copy is left alone with its counter.
TEST(SharedFilesUninstall, CountsDownOrReleasesEachSharedFile) {
    struct TRow {
        const char* Name;
        TCount Before;
        bool Copied;
        TCount After;
        bool Stays;
    } const rows[] = {
        {"count 3", 3, true, 2, true},
        {"count 2: one other user left", 2, true, 1, true},
        {"no counter reads as 1", kNoValue, true, kNoValue, false},
        {"count 1", 1, true, kNoValue, false},
        {"count 0", 0, true, kNoValue, false},
        {"count 0xFFFFFFFF is -1, below 2", 0xFFFFFFFFu, true, kNoValue, false},
        {"not copied, count 3: not counted down", 3, false, 3, true},
        {"not copied, count 1: not released", 1, false, 1, true},
        {"not copied, no counter: none made", kNoValue, false, kNoValue, true},
    };
    TProduct product;
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    TSharedCounters counters;
    std::string shared = "[SharedFiles]\r\n", copied = "[CopyFiles]\r\n";
    std::vector<std::string> paths;
    for (size_t i = 0; i < std::size(rows); ++i) {
        paths.push_back(product.Root() + "\\Shared" + std::to_string(i) + ".dll");
        WriteFileBytes(paths.back(), "shared");
        counters.Set(paths.back(), rows[i].Before);
        shared += paths.back() + "=\r\n";
        // CopyFiles spells the path in other letter case: names match
        // without regard to case.
        if (rows[i].Copied) copied += AnsiUpperCase(paths.back()) + "=1\r\n";
    }
    std::string own = product.AppDir() + "\\own.exe";
    WriteFileBytes(own, "program");
    product.WriteLog(shared + copied + own + "=1\r\n");

    EXPECT_EQ(product.Run("/s"), 0u);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].Name);
        EXPECT_EQ(CountText(TSharedCounters::Get(paths[i])), CountText(rows[i].After));
        EXPECT_EQ(FileExists(paths[i]), rows[i].Stays);
    }
    EXPECT_FALSE(FileExists(own));
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

// ------------------------------------------- the processors in this process

class SharedFilesInProcess : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return Dir / name; }
    TTempDir Dir;
    TSharedCounters Counters;
};

// A file kept for another product is passed over by CopyFiles yet counts its
// step, as every CopyFiles entry does.
TEST_F(SharedFilesInProcess, KeptFilesAreSkippedByCopyFilesAndStillAdvanceTheProgress) {
    std::string kept = Path("kept.dll"), released = Path("released.dll"), own = Path("own.exe");
    for (const std::string& file : {kept, released, own}) WriteFileBytes(file, "x");
    Counters.Set(kept, 3);
    Counters.Set(released, 1);
    TInProcessRun run(Path("install.log"),
                      "[SharedFiles]\r\n" + kept + "=\r\n" + released + "=\r\n[CopyFiles]\r\n" + kept + "=1\r\n" +
                          released + "=1\r\n" + own + "=1\r\n",
                      true);
    ReleaseSharedFiles();
    EXPECT_TRUE(IsSharedFileKept(kept));
    EXPECT_FALSE(IsSharedFileKept(released));
    RemoveFiles();
    EXPECT_EQ(UninstallState.StepsDone, 3);
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(FileExists(released));
    EXPECT_FALSE(FileExists(own));
    EXPECT_EQ(CountText(TSharedCounters::Get(kept)), "2");
}

// A path may hold "=": the file is the text before the line's last "=", in
// SharedFiles as in CopyFiles, so such a file is counted and kept like any.
TEST_F(SharedFilesInProcess, PathWithAnEqualsSignIsCountedAndKept) {
    std::string odd = Path("a=b.dll");
    WriteFileBytes(odd, "x");
    Counters.Set(odd, 3);
    TInProcessRun run(Path("install.log"), "[SharedFiles]\r\n" + odd + "=\r\n[CopyFiles]\r\n" + odd + "=1\r\n", true);
    ReleaseSharedFiles();
    EXPECT_EQ(CountText(TSharedCounters::Get(odd)), "2");
    EXPECT_TRUE(IsSharedFileKept(odd));
    EXPECT_FALSE(IsSharedFileKept(Path("a")));
}

// With no shared file, CopyFiles is not even read and nothing is kept.
TEST_F(SharedFilesInProcess, EmptyOrMissingSectionKeepsNothing) {
    for (const char* sections : {"", "[SharedFiles]\r\n"}) {
        SCOPED_TRACE(sections);
        TInProcessRun run(Path("install.log"), std::string(sections) + "[CopyFiles]\r\n" + Path("x.dll") + "=1\r\n",
                          true);
        UninstallState.SectionLines->Add("untouched=1");
        UninstallState.KeptSharedFiles->Add("stale=1");
        ReleaseSharedFiles();
        EXPECT_EQ(UninstallState.KeptSharedFiles->Count(), 0);
        ASSERT_EQ(UninstallState.SectionLines->Count(), 1);
        EXPECT_EQ((*UninstallState.SectionLines)[0], "untouched=1");
    }
}

// A prompt that cannot be shown (here: no display) is no answer: the file
// stays with its counter, and the run goes on instead of asking forever.
TEST_F(SharedFilesInProcess, PromptThatCannotBeShownKeepsTheFile) {
    if (HaveDisplay()) GTEST_SKIP() << "needs a system without a display";
    std::string first = Path("first.dll"), second = Path("second.dll");
    for (const std::string& file : {first, second}) {
        WriteFileBytes(file, "x");
        Counters.Set(file, 1);
    }
    TInProcessRun run(Path("install.log"),
                      "[SharedFiles]\r\n" + first + "=\r\n" + second + "=\r\n[CopyFiles]\r\n" + first + "=1\r\n" +
                          second + "=1\r\n",
                      false);
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(RunAnswering({}, exitCode).empty());
    EXPECT_EQ(exitCode, 0u);
    for (const std::string& file : {first, second}) {
        EXPECT_TRUE(FileExists(file)) << file;
        EXPECT_EQ(CountText(TSharedCounters::Get(file)), "1") << file;
    }
}

// ---------------------------------------------------- on a display only

// Shared files a (count 1), b (no counter), c (count 3), d (count 1), all
// copied, and e (count 1), not copied. Each row answers the prompts in turn;
// c is counted down and e left alone whatever the answers.
TEST_F(SharedFilesInProcess, PromptAnswersDecideThisAndLaterFiles) {
    if (!HaveDisplay()) GTEST_SKIP() << "no display: the prompt cannot be shown";
    const int Y = IDC_DELSHARED_YES, YA = IDC_DELSHARED_YESTOALL, N = IDC_DELSHARED_NO, NA = IDC_DELSHARED_NOTOALL,
              ESC = PRESS_ESCAPE;
    struct TRow {
        const char* Name;
        std::vector<int> Presses;
        const char* Asked;    // the files prompted for, in order
        const char* Deleted;  // the files whose counter and file went
    } const rows[] = {
        {"6 for each", {Y, Y, Y}, "abd", "abd"},
        {"7 for each: asked again every time", {N, N, N}, "abd", ""},
        {"Escape keeps the file, like 7", {ESC, Y, ESC}, "abd", "b"},
        {"10 on the first: no further prompt", {YA}, "a", "abd"},
        {"9 on the first: no further prompt", {NA}, "a", ""},
        {"7, then 10", {N, YA}, "ab", "bd"},
        {"6, then 9", {Y, NA}, "ab", "a"},
    };
    TWindowHandle page(CreateWindowExA(0, "STATIC", "progress page", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                       nullptr, GetModuleHandleA(nullptr), nullptr));
    ASSERT_TRUE(page.Valid());
    const std::string letters = "abcde";
    const TCount before[] = {1, kNoValue, 3, 1, 1};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempDir dir;
        TSharedCounters counters;
        std::string shared = "[SharedFiles]\r\n", copied = "[CopyFiles]\r\n";
        std::vector<std::string> paths;
        for (size_t i = 0; i < letters.size(); ++i) {
            paths.push_back(dir / (std::string(1, letters[i]) + ".dll"));
            WriteFileBytes(paths.back(), "x");
            counters.Set(paths.back(), before[i]);
            shared += paths.back() + "=\r\n";
            if (letters[i] != 'e') copied += paths.back() + "=1\r\n";
        }
        TInProcessRun run(dir / "install.log", shared + copied, false);
        OwnerWindow = page.Get();

        DWORD exitCode = STILL_ACTIVE;
        std::vector<TPromptSeen> seen = RunAnswering(row.Presses, exitCode);
        EXPECT_EQ(exitCode, 0u);

        std::string asked;
        for (const TPromptSeen& prompt : seen) {
            asked += prompt.Name.empty() ? '?' : prompt.Name[0];
            // The prompt's texts come from the log, its fields from the path.
            EXPECT_EQ(prompt.Caption, "Remove Shared File?");
            EXPECT_EQ(prompt.Question, "Nothing else counts this file.\rRemove it?");
            EXPECT_EQ(prompt.NameLabel, "File name:");
            EXPECT_EQ(prompt.FolderLabel, "Located in:");
            EXPECT_EQ(prompt.Folder, dir.Path() + "\\");
            EXPECT_EQ(prompt.Owner, page.Get());
        }
        EXPECT_EQ(asked, row.Asked);
        if (!seen.empty()) {
            EXPECT_EQ(seen[0].Name, "a.dll");
        }

        std::string deleted = row.Deleted;
        for (size_t i = 0; i < letters.size(); ++i) {
            SCOPED_TRACE(NameOf(paths[i]));
            bool goes = deleted.find(letters[i]) != std::string::npos;
            TCount expected = goes ? kNoValue : letters[i] == 'c' ? TCount(2) : before[i];
            EXPECT_EQ(CountText(TSharedCounters::Get(paths[i])), CountText(expected));
            EXPECT_EQ(FileExists(paths[i]), !goes);
            EXPECT_EQ(IsSharedFileKept(paths[i]), !goes);
        }
    }
}

// The texts of a dialog from [Dialog.<name>]: the caption, title and
// subtitle by name, every other control by its numeric key.
TEST_F(SharedFilesInProcess, DialogTextsComeFromTheLog) {
    if (!HaveDisplay()) GTEST_SKIP() << "no display: no window can be made";
    HINSTANCE instance = GetModuleHandleA(nullptr);
    TWindowHandle dialog(CreateWindowExA(0, "STATIC", "old caption", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                         instance, nullptr));
    ASSERT_TRUE(dialog.Valid());
    for (int id : {101, 102, 400, 401})
        CreateWindowExA(0, "STATIC", "old", WS_CHILD, 0, 0, 50, 10, dialog.Get(), reinterpret_cast<HMENU>(INT_PTR(id)),
                        instance, nullptr);
    TInProcessRun run(Path("install.log"),
                      "[Dialog.DLG_TEST]\r\nTitle=Head||line\r\n101=First||Second\r\n0x66=hex is no ID\r\n"
                      "Subtitle=Sub\r\n7=no such control\r\n[Dialog.DLG_OTHER]\r\nCaption=Other\r\n",
                      false);
    LoadDialogTexts(dialog.Get(), "DLG_TEST");
    char caption[64] = "x";
    GetWindowTextA(dialog.Get(), caption, sizeof caption);
    EXPECT_STREQ(caption, "");  // no Caption key: the caption is emptied
    EXPECT_EQ(ItemText(dialog.Get(), 101), "First\rSecond");
    EXPECT_EQ(ItemText(dialog.Get(), 102), "old");  // no key for it
    EXPECT_EQ(ItemText(dialog.Get(), 400), "Head\rline");
    EXPECT_EQ(ItemText(dialog.Get(), 401), "Sub");

    LoadDialogTexts(dialog.Get(), "DLG_OTHER");
    GetWindowTextA(dialog.Get(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Other");
    EXPECT_EQ(ItemText(dialog.Get(), 400), "");  // no Title key: emptied
    EXPECT_EQ(ItemText(dialog.Get(), 101), "First\rSecond");
}
