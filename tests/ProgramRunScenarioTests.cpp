// PreRunApp, RunApp and SharedAssemblies on the real program: copies of
// LaunchProbe.exe stand in for the product's programs and for the
// assembly-cache tool, and record how the uninstaller started them.
#include <gtest/gtest.h>

#include <memory>

#include "LaunchRecord.h"
#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

const DWORD EXIT_FAILED = 0xFFFFFFFF;  // the program's -1

// A product with one installed file (CopyFiles), an Uninstall key, the probe
// as Root\Tools\probe.exe and as Root\Tools,old\stop.exe, and the record.
// In texts, "%P" stands for the probe, "%D" for the root folder and "%A"
// for the uninstaller's folder.
class TRunProduct {
public:
    TRunProduct() : Record(Product.Root() + "\\record.log") {
        for (const char* copy : {"\\Tools\\probe.exe", "\\Tools,old\\stop.exe"}) {
            std::string path = Product.Root() + copy;
            CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
            CopyFileA(BuiltTestProgram("LaunchProbe.exe").c_str(), path.c_str(), FALSE);
        }
        CreateDirectoryA(DataDir().c_str(), nullptr);
        WriteFileBytes(InstalledFile(), "x");
        Product.RegisterUninstallKey(HKEY_CURRENT_USER);
    }

    std::string Expand(const std::string& text) const {
        return StrReplaceAll(StrReplaceAll(StrReplaceAll(text, "%P", Product.Root() + "\\Tools\\probe.exe"), "%A",
                                           Product.AppDir()),
                             "%D", Product.Root());
    }
    std::string InstalledFile() const { return Product.AppDir() + "\\file.txt"; }
    std::string DataDir() const { return Product.Root() + "\\Data"; }
    // The log: the installed file, with createDirs an empty folder of the
    // product in CreateDirs (whose processing deletes the log), and sections.
    void WriteLog(const std::string& sections, bool createDirs = false) const {
        Product.WriteLog("[CopyFiles]\r\n" + InstalledFile() + "=\r\n" +
                         (createDirs ? "[CreateDirs]\r\n" + DataDir() + "=\r\n" : std::string()) + Expand(sections));
    }
    bool KeyStays() const { return Product.UninstallKeyExists(HKEY_CURRENT_USER); }

    TProduct Product;
    TLaunchRecord Record;
};

}  // namespace

// Entries that succeed: how each program is started, and whether the run
// waited for it.
TEST(ProgramRunScenario, EntriesStartTheirProgramsAsTheFieldsSay) {
    struct Row {
        const char* section;
        const char* value;
        const char* commandLine;  // nullptr: nothing started
        const char* folder;
        int show;
        bool awaited;
    } rows[] = {
        // The file name alone: normal window, awaited, exit code 0 required.
        {"PreRunApp", "%P", "\"%P\"", "%A", SW_SHOWNORMAL, true},
        // A quoted comma stays in its field; parameters keep their quotes.
        {"PreRunApp", "%P,one \"two,three\",%D\\Tools,2,\"Stopping, please wait\",1,1",
         "\"%P\" one \"two,three\"", "%D\\Tools", SW_SHOWMAXIMIZED, true},
        {"RunApp", "%P,,,3", "\"%P\"", "%A", SW_SHOWMINNOACTIVE, true},
        {"RunApp", "%P,,,0", "\"%P\"", "%A", SW_HIDE, true},
        {"PreRunApp", "%P,,,5", "\"%P\"", "%A", SW_SHOWNORMAL, true},
        {"PreRunApp", "%P,,,word,,x,y", "\"%P\"", "%A", SW_SHOWNORMAL, true},
        // The exit code is not checked: exit code 1 does not stop the run.
        {"PreRunApp", "%P,exit=1,,1,,1,0", "\"%P\" exit=1", "%A", SW_SHOWNORMAL, true},
        {"RunApp", "%P,exit=1,,1,,1,0", "\"%P\" exit=1", "%A", SW_SHOWNORMAL, true},
        // A quoted file name with a comma is one field and loses its quotes.
        {"PreRunApp", "\"%D\\Tools,old\\stop.exe\",,,1,,1,1", "\"%D\\Tools,old\\stop.exe\"", "%A", SW_SHOWNORMAL,
         true},
        // Not checked, so not even a failed start stops the run.
        {"PreRunApp", "%D\\missing.exe,,,1,,1,0", nullptr, nullptr, 0, true},
        // Started through the shell and not awaited: the run ends first.
        {"RunApp", "%P,sleep=4000,%D\\Tools,2,,0,1", "\"%P\" sleep=4000", "%D\\Tools", SW_SHOWMAXIMIZED, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.section) + " " + r.value);
        TRunProduct p;
        p.WriteLog(std::string("[") + r.section + "]\r\n1=" + r.value + "\r\n");
        EXPECT_EQ(p.Product.Run("/s"), 0u);
        EXPECT_FALSE(FileExists(p.InstalledFile()));
        EXPECT_FALSE(p.KeyStays());
        // The uninstaller removes itself and its emptied folder.
        EXPECT_TRUE(WaitUntilGone(p.Product.AppDir()));
        if (!r.commandLine) {
            EXPECT_EQ(p.Record.Sequence(), "");
            continue;
        }
        if (r.awaited) {
            EXPECT_EQ(p.Record.Sequence(), "start end");
        } else {
            EXPECT_EQ(p.Record.Sequence().find("end"), std::string::npos);
            ASSERT_TRUE(p.Record.WaitForEnds(1));
        }
        auto starts = p.Record.Starts();
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].CommandLine, p.Expand(r.commandLine));
        EXPECT_EQ(starts[0].Folder, p.Expand(r.folder));
        EXPECT_EQ(starts[0].Show, IntToStr(r.show));
    }
}

// A failed entry stops the run: PreRunApp before anything is removed,
// RunApp after everything else. The Uninstall key stays either way; the log
// stays unless CreateDirs, processed before RunApp, had entries.
TEST(ProgramRunScenario, FailedEntryStopsTheRun) {
    struct Row {
        const char* sections;
        bool createDirs;
        int starts;
        bool fileStays, logStays;
    } rows[] = {
        // The first failure ends the section: the second entry is not run.
        {"[PreRunApp]\r\n1=%P,exit=1\r\n2=%P\r\n", true, 1, true, true},
        {"[PreRunApp]\r\n1=%D\\missing.exe\r\n", true, 0, true, true},
        {"[PreRunApp]\r\n1=%D\\missing.exe,,,1,,0\r\n", true, 0, true, true},
        {"[PreRunApp]\r\n1=%P\r\n[RunApp]\r\n1=%P,exit=2\r\n", false, 2, false, true},
        {"[RunApp]\r\n1=%P,exit=2,,1,,1\r\n", true, 1, false, false},
        // A document whose type has no program, not awaited: the shell refuses.
        {"[RunApp]\r\n1=%D\\readme.zrnoassoctest,,,1,,0\r\n", true, 0, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.sections);
        TRunProduct p;
        WriteFileBytes(p.Product.Root() + "\\readme.zrnoassoctest", "text");
        p.WriteLog(r.sections, r.createDirs);
        EXPECT_EQ(p.Product.Run("/s"), EXIT_FAILED);
        EXPECT_EQ(p.Record.Starts().size(), static_cast<size_t>(r.starts));
        EXPECT_EQ(FileExists(p.InstalledFile()), r.fileStays);
        EXPECT_EQ(FolderExists(p.DataDir()), r.fileStays || !r.createDirs);
        EXPECT_EQ(FileExists(p.Product.LogPath()), r.logStays);
        EXPECT_TRUE(p.KeyStays());
    }
}

// "gacutil.exe" beside the uninstaller runs hidden with "/ur " and the
// entry's value, awaited, one entry after the other; its exit code is ignored.
TEST(SharedAssembliesScenario, ToolBesideTheUninstallerWithdrawsEachEntry) {
    TRunProduct p;
    std::string tool = p.Product.AppDir() + "\\gacutil.exe";
    ASSERT_TRUE(CopyFileA(BuiltTestProgram("LaunchProbe.exe").c_str(), tool.c_str(), FALSE));
    const std::string first = "Asm.One,Version=1.0.0.0,Culture=neutral,PublicKeyToken=0123456789abcdef,sleep=700";
    const std::string second = "'Asm Two',Version=2.0.0.0,exit=7";
    p.WriteLog("[SharedAssemblies]\r\n1=" + first + "\r\n2=" + second + "\r\n");
    EXPECT_EQ(p.Product.Run("/s"), 0u);
    EXPECT_EQ(p.Record.Sequence(), "start end start end");
    auto starts = p.Record.Starts();
    ASSERT_EQ(starts.size(), 2u);
    const std::string values[] = {first, second};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(starts[i].CommandLine, "\"" + tool + "\" /ur " + values[i]);
        EXPECT_EQ(starts[i].Folder, p.Product.AppDir());
        EXPECT_EQ(starts[i].Show, IntToStr(SW_HIDE));
    }
    EXPECT_FALSE(FileExists(p.InstalledFile()));
    EXPECT_FALSE(p.KeyStays());
    EXPECT_TRUE(WaitUntilGone(p.Product.Exe()));  // the folder stays: the tool is still in it
}

TEST(SharedAssembliesScenario, WithoutTheToolNothingStartsAndTheRunSucceeds) {
    TRunProduct p;
    p.WriteLog("[SharedAssemblies]\r\n1=Asm.One,Version=1.0.0.0\r\n2=Asm.Two\r\n");
    EXPECT_EQ(p.Product.Run("/s"), 0u);
    EXPECT_EQ(p.Record.Sequence(), "");
    EXPECT_FALSE(FileExists(p.InstalledFile()));
    EXPECT_FALSE(p.KeyStays());
    EXPECT_TRUE(WaitUntilGone(p.Product.AppDir()));
}

// The processors called in this process, to see the progress they count;
// the scratch folder is the current one meanwhile.
class ProgramRunSteps : public ::testing::Test {
protected:
    ProgramRunSteps() : Record(Dir / "record.log"), Current(Dir.Path()) {
        UninstallState.LogPath = Dir / "install.log";
        UninstallState.SectionLines.reset(new TStringList);
        UninstallState.Silent = true;
        UninstallState.StepsDone = 0;
        CopyFileA(BuiltTestProgram("LaunchProbe.exe").c_str(), (Dir / "probe.exe").c_str(), FALSE);
    }
    ~ProgramRunSteps() override {
        CloseAllIniFiles();
        UninstallState.SectionLines.reset();
    }
    TTempDir Dir;
    TLaunchRecord Record;
    TCurrentFolder Current;
};

TEST_F(ProgramRunSteps, FailedEntryIsNotCountedAndEndsTheSection) {
    std::string probe = Dir / "probe.exe";
    WriteFileBytes(UninstallState.LogPath, "[PreRunApp]\r\n1=" + probe + "\r\n2=" + probe + ",exit=9\r\n3=" + probe +
                                               "\r\n[RunApp]\r\n1=" + probe + ",,,1,,0\r\n");
    EXPECT_FALSE(RunProgramSection(true));
    EXPECT_EQ(UninstallState.StepsDone, 1);
    EXPECT_EQ(Record.Sequence(), "start end start end");
    EXPECT_TRUE(RunProgramSection(false));
    EXPECT_EQ(UninstallState.StepsDone, 2);
    ASSERT_TRUE(Record.WaitForEnds(3));
}

TEST_F(ProgramRunSteps, EveryAssemblyEntryCountsEvenWithoutTheTool) {
    WriteFileBytes(UninstallState.LogPath, "[SharedAssemblies]\r\n1=Asm.One\r\n2='Asm,Two',Version=2.0\r\n");
    RemoveSharedAssemblies();  // no "gacutil.exe" beside this test program
    EXPECT_EQ(UninstallState.StepsDone, 2);
    EXPECT_EQ(Record.Sequence(), "");
}

TEST_F(ProgramRunSteps, MissingSectionSucceedsAtOnce) {
    WriteFileBytes(UninstallState.LogPath, "[Strings]\r\nAppID=X\r\n");
    EXPECT_TRUE(RunProgramSection(true));
    EXPECT_TRUE(RunProgramSection(false));
    EXPECT_EQ(UninstallState.StepsDone, 0);
}
