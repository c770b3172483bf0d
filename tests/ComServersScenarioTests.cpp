// RegServers: COM servers and type libraries unregistered by the real
// program, and the processor itself with shared files kept in use. The
// fixtures (ComServerProbe.dll, ComRegisterOnly.dll, ComExeServer.exe,
// ComStandalone.tlb) each hold a type library of their own, registered before
// the run; the servers record their calls and starts in the launch record.
#include <gtest/gtest.h>

#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "LaunchRecord.h"
#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "TypeLibRegistration.h"
#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

// One RegServers entry: a copy of a fixture (none: a missing file) at a path
// below the scratch folder.
struct TEntry {
    const char* path;     // below the scratch folder
    const char* fixture;  // nullptr: the file is missing
    const char* record;   // what the server recorded, "%F" for its path; nullptr: nothing
    bool libraryStays;
};

// The entries staged below root, their libraries registered, and the section
// that lists them, each line "path=1".
class TServerFiles {
public:
    TServerFiles(const std::string& root, const std::vector<TEntry>& entries) : Entries(entries) {
        for (const TEntry& e : Entries) {
            std::string path = root + "\\" + e.path;
            Paths.push_back(path);
            Section += path + "=1\r\n";
            if (!e.fixture) {
                Libraries.emplace_back();
                continue;
            }
            CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
            CopyFileA(BuiltTestProgram(e.fixture).c_str(), path.c_str(), FALSE);
            Libraries.emplace_back(new TTypeLibRegistration(path));
        }
    }
    bool AllRegistered() const {
        for (const auto& library : Libraries)
            if (library && !library->Registered()) return false;
        return true;
    }
    // The record expected from the entries, in their order.
    std::vector<std::string> ExpectedRecord() const {
        std::vector<std::string> lines;
        for (size_t i = 0; i < Entries.size(); ++i)
            if (Entries[i].record) lines.push_back(StrReplaceAll(Entries[i].record, "%F", Paths[i]));
        return lines;
    }
    void ExpectLibraries() const {
        for (size_t i = 0; i < Entries.size(); ++i) {
            if (!Libraries[i]) continue;
            EXPECT_EQ(Libraries[i]->Registered(), Entries[i].libraryStays) << Paths[i];
        }
    }

    std::vector<TEntry> Entries;
    std::vector<std::string> Paths;
    std::vector<std::unique_ptr<TTypeLibRegistration>> Libraries;
    std::string Section;
};

std::vector<std::string> RecordLines(const TLaunchRecord& record) {
    std::vector<std::string> lines;
    for (const TLaunchEvent& e : ReadLaunchRecord(record.Path))
        lines.push_back(e.Kind == "start" ? e.Kind + " " + e.CommandLine + " " + e.Show
                                          : e.Kind == "end" ? e.Kind : e.Kind + " " + e.CommandLine);
    return lines;
}

// The program's state for calling the processor directly, as the worker
// has it in a silent run; the log's cache and the lists go afterwards.
class TProcessorState {
public:
    explicit TProcessorState(const std::string& logPath) {
        TUninstallState& s = UninstallState;
        s.Silent = true;
        s.LogPath = logPath;
        s.SectionLines.reset(new TStringList);
        s.KeptSharedFiles.reset(new TStringList);
        s.StepsDone = 0;
        s.StepsTotal = 0;
        CoInitialize(nullptr);
    }
    ~TProcessorState() {
        CoUninitialize();
        CloseAllIniFiles();
        UninstallState.SectionLines.reset();
        UninstallState.KeptSharedFiles.reset();
        UninstallState.LogPath.clear();
    }
    TProcessorState(const TProcessorState&) = delete;
    TProcessorState& operator=(const TProcessorState&) = delete;
};

}  // namespace

// Each entry on its own: a server with DllUnregisterServer is called, a
// program is started hidden with the switch, a type library goes, a server
// that cannot be unregistered keeps its library, a missing file is passed
// over; the key of an entry runs to the line's last "=".
TEST(ComServersUninstall, UnregistersWhatEachEntryHolds) {
    TProduct product;
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    TLaunchRecord record(product.Root() + "\\record.log");
    TServerFiles files(product.Root(),
                       {{"Lib=1\\server.dll", "ComServerProbe.dll", "DllUnregisterServer %F", false},
                        {"missing.dll", nullptr, nullptr, false},
                        {"Types\\types.tlb", "ComStandalone.tlb", nullptr, false},
                        {"regonly.dll", "ComRegisterOnly.dll", nullptr, true},
                        {"Server.exe", "ComExeServer.exe", "start \"%F\" /UNREGSERVER 0", false}});
    ASSERT_TRUE(files.AllRegistered());
    product.WriteLog("[RegServers]\r\n" + files.Section);

    EXPECT_EQ(product.Run("/s"), 0u);
    ASSERT_TRUE(record.WaitForEnds(1));
    std::vector<std::string> expected = files.ExpectedRecord();
    expected.push_back("end");
    EXPECT_EQ(RecordLines(record), expected);
    files.ExpectLibraries();
    // RegServers leaves the files to the file processors.
    for (size_t i = 0; i < files.Paths.size(); ++i) {
        if (!files.Entries[i].fixture) continue;
        EXPECT_TRUE(FileExists(files.Paths[i])) << files.Paths[i];
    }
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    // The .exe server starts in the uninstaller's current folder, its own,
    // and may still be there when the self-removal tries to remove that
    // folder: only the program file is sure to go.
    EXPECT_TRUE(WaitUntilGone(product.Exe()));
}

// A SharedFiles entry that the product did not copy (not in CopyFiles) is a
// shared file still in use: RegServers leaves it registered, whatever the
// letter case of either entry, while the other entries go.
TEST(ComServersUninstall, SharedFileStillInUseStaysRegistered) {
    TProduct product;
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    TLaunchRecord record(product.Root() + "\\record.log");
    TServerFiles files(product.Root(), {{"Shared\\server.dll", "ComServerProbe.dll", nullptr, true},
                                        {"Shared=1\\server.dll", "ComServerProbe.dll", nullptr, true},
                                        {"types.tlb", "ComStandalone.tlb", nullptr, false}});
    ASSERT_TRUE(files.AllRegistered());
    product.WriteLog("[SharedFiles]\r\n" + AnsiUpperCase(files.Paths[0]) + "=1\r\n" + files.Paths[1] +
                     "=1\r\n[RegServers]\r\n" + files.Section);

    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_EQ(RecordLines(record), files.ExpectedRecord());
    files.ExpectLibraries();
    EXPECT_TRUE(WaitUntilGone(product.AppDir()));
}

// The processor on its own: a kept file (in KeptSharedFiles, in any letter
// case, even with "=" in its path) is left alone, yet every entry counts
// its step.
TEST(ComServersUninstall, KeptSharedFilesStayRegistered) {
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    TServerFiles files(dir.Path(), {{"Shared\\server.dll", "ComServerProbe.dll", nullptr, true},
                                    {"Shared=1\\server.dll", "ComServerProbe.dll", nullptr, true},
                                    {"types.tlb", "ComStandalone.tlb", nullptr, false},
                                    {"missing.dll", nullptr, nullptr, false}});
    ASSERT_TRUE(files.AllRegistered());
    std::string log = dir / "install.log";
    WriteFileBytes(log, "[Strings]\r\nAppID=ComServers\r\n[RegServers]\r\n" + files.Section);
    TProcessorState state(log);
    UninstallState.KeptSharedFiles->Add(AnsiUpperCase(files.Paths[0]) + "=1");
    UninstallState.KeptSharedFiles->Add(files.Paths[1] + "=1");

    UnregisterServers();

    EXPECT_EQ(UninstallState.StepsDone, 4);
    EXPECT_EQ(RecordLines(record), files.ExpectedRecord());
    files.ExpectLibraries();
}
