// Unregistering COM servers and type libraries: the fixtures built beside
// this program (ComServerProbe.dll with both exports, ComRegisterOnly.dll
// with DllRegisterServer alone, ComExeServer.exe, ComStandalone.tlb) each
// hold a type library of their own, which a test registers first; the
// servers record their calls and starts in the launch record.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "LaunchRecord.h"
#include "TestSupport.h"
#include "TypeLibRegistration.h"
#include "utils.h"
#include "zrStrUtils.h"

namespace {

// A DOS header of 64 bytes whose header offset is offset, followed by filler
// up to size bytes; signature, when given, is written at that offset.
std::string DosImage(DWORD offset, size_t size, const std::string& signature = std::string()) {
    std::string bytes(size, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[60 + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    if (offset < size) bytes.replace(offset, signature.size(), signature);
    return bytes.substr(0, size);
}

const std::string kPE("PE\0\0", 4);

// A file staged for one case: a copy of a fixture, bytes of its own, or
// nothing (a missing file).
struct TSource {
    const char* fixture;  // file built beside this program; nullptr: use bytes
    std::string bytes;
    bool missing = false;
};
TSource Fixture(const char* name) { return {name, std::string()}; }
TSource Bytes(const std::string& bytes) { return {nullptr, bytes}; }
TSource Missing() { return {nullptr, std::string(), true}; }

std::string Stage(const std::string& path, const TSource& source) {
    CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
    if (source.fixture)
        CopyFileA(BuiltTestProgram(source.fixture).c_str(), path.c_str(), FALSE);
    else if (!source.missing)
        WriteFileBytes(path, source.bytes);
    return path;
}

// The record as lines "kind command-line" ("start" lines with the show
// command as well, "end" alone), with the staged file written as %F.
std::vector<std::string> RecordLines(const TLaunchRecord& record, const std::string& file) {
    std::vector<std::string> lines;
    for (const TLaunchEvent& e : ReadLaunchRecord(record.Path)) {
        std::string line = e.Kind;
        if (e.Kind != "end") line += " " + StrReplaceAll(e.CommandLine, file, "%F");
        if (e.Kind == "start") line += " " + e.Show;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(ComServers, ProbePEFileTellsPEImagesByTheirHeader) {
    struct Row {
        const char* what;
        TSource source;
        bool opened, isPE;
    } rows[] = {
        {"missing file", Missing(), false, false},
        {"empty file", Bytes(""), true, false},
        {"text file", Bytes("Not a program at all, only some text that is longer than sixty-four bytes."), true,
         false},
        {"MZ, header offset 0", Bytes(DosImage(0, 256)), true, false},
        {"MZ, shorter than 64 bytes", Bytes(DosImage(0, 63)), true, false},
        {"PE header right after the DOS header", Bytes(DosImage(64, 128, kPE)), true, true},
        {"PE header as the file's last 4 bytes", Bytes(DosImage(124, 128, kPE)), true, true},
        {"offset at the end of the file", Bytes(DosImage(128, 128)), true, false},
        {"offset beyond the end of the file", Bytes(DosImage(4096, 128)), true, false},
        {"offset above 2 GB", Bytes(DosImage(0x80000040, 128)), true, false},
        {"signature cut short by the end of the file", Bytes(DosImage(126, 128, kPE)), true, false},
        {"signature PE without its two zero bytes", Bytes(DosImage(64, 128, std::string("PE\0\1", 4))), true,
         false},
        {"no MZ", Bytes("ZM" + DosImage(64, 128, kPE).substr(2)), true, false},
        {"DLL", Fixture("ComServerProbe.dll"), true, true},
        {"program", Fixture("ComExeServer.exe"), true, true},
        {"type library", Fixture("ComStandalone.tlb"), true, false},
    };
    TTempDir dir;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::string file = Stage(dir / UniqueName("probe"), r.source);
        bool isPE = !r.isPE;
        EXPECT_EQ(ProbePEFile(file, isPE), r.opened);
        EXPECT_EQ(isPE, r.isPE);
    }
}

TEST(ComServers, ProbePEFileFailsOnAFileOpenForWriting) {
    // The file is opened sharing reads only, which a writer's handle forbids.
    TTempDir dir;
    std::string file = Stage(dir / "server.dll", Fixture("ComServerProbe.dll"));
    TFileHandle writer(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.Valid());
    bool isPE = true;
    EXPECT_FALSE(ProbePEFile(file, isPE));
    EXPECT_FALSE(isPE);
}

TEST(ComServers, HasRegisterServerLoadsTheFileAndLooksForTheExport) {
    struct Row {
        const char* name;
        TSource source;
        bool loaded, hasExport;
    } rows[] = {
        {"missing.dll", Missing(), false, false},
        {"text.dll", Bytes("not a program"), false, false},
        {"types.tlb", Fixture("ComStandalone.tlb"), false, false},
        {"server.dll", Fixture("ComServerProbe.dll"), true, true},
        {"regonly.dll", Fixture("ComRegisterOnly.dll"), true, true},
        {"server.exe", Fixture("ComExeServer.exe"), true, false},
    };
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string file = Stage(dir / r.name, r.source);
        bool hasExport = !r.hasExport;
        EXPECT_EQ(HasRegisterServer(file, hasExport), r.loaded);
        EXPECT_EQ(hasExport, r.hasExport);
    }
    // Only looked up, never called.
    EXPECT_EQ(ReadFileBytes(record.Path), "");
}

// UnregisterServer and UnregisterFile on the same files: the result, what
// the server recorded, and whether the file's type library stayed registered.
// "%F" stands for the staged file.
struct TServerCase {
    const char* name;  // file name in the scratch folder
    TSource source;
    bool serverResult;  // UnregisterServer
    bool fileResult;    // UnregisterFile
    std::vector<std::string> record;
    bool libraryStays;  // after UnregisterFile; the same file's library, when it has one
};

const TServerCase kServerCases[] = {
    {"missing.dll", Missing(), false, false, {}, false},
    // Neither loaded nor started: WinExec fails too.
    {"missing.exe", Missing(), false, false, {}, false},
    // No PE image: only the type-library attempt, which fails.
    {"notes.txt", Bytes("some notes"), false, false, {}, false},
    {"header.dll", Bytes(DosImage(0, 256)), false, false, {}, false},
    // A stand-alone type library; the extension of a program changes nothing.
    {"types.tlb", Fixture("ComStandalone.tlb"), false, true, {}, false},
    {"types.exe", Fixture("ComStandalone.tlb"), false, true, {}, false},
    {"server.dll", Fixture("ComServerProbe.dll"), true, true, {"DllUnregisterServer %F"}, false},
    // DllUnregisterServer fails: the server stays, and so does its library.
    {"serverfail.dll", Fixture("ComServerProbe.dll"), false, false, {"DllUnregisterServer %F"}, true},
    // DllRegisterServer alone: nothing is called and the library stays.
    {"regonly.dll", Fixture("ComRegisterOnly.dll"), false, false, {}, true},
    // A program: started hidden with the switch, then its library goes.
    {"Server.EXE", Fixture("ComExeServer.exe"), true, true, {"start \"%F\" /UNREGSERVER 0", "end"}, false},
    // A PE library without DllRegisterServer goes straight to its library.
    {"plain.dll", Fixture("ComExeServer.exe"), false, true, {}, false},
};

void PrintTo(const TServerCase& c, std::ostream* out) { *out << c.name; }

class ComServerFiles : public ::testing::TestWithParam<TServerCase> {};

TEST_P(ComServerFiles, UnregisterServer) {
    const TServerCase& c = GetParam();
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    std::string file = Stage(dir / c.name, c.source);
    EXPECT_EQ(UnregisterServer(file), c.serverResult);
    size_t ends = 0;
    for (const std::string& line : c.record) ends += line == "end";
    ASSERT_TRUE(record.WaitForEnds(ends));
    // For UnregisterServer a failing DllUnregisterServer is a failed attempt
    // like any other: a program would be started, a library is not.
    EXPECT_EQ(RecordLines(record, file), c.record);
}

TEST_P(ComServerFiles, UnregisterFile) {
    const TServerCase& c = GetParam();
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    std::string file = Stage(dir / c.name, c.source);
    TTypeLibRegistration library(file);
    if (c.source.fixture) {
        ASSERT_TRUE(library.Registered());
    }
    EXPECT_EQ(UnregisterFile(file), c.fileResult);
    size_t ends = 0;
    for (const std::string& line : c.record) ends += line == "end";
    ASSERT_TRUE(record.WaitForEnds(ends));
    EXPECT_EQ(RecordLines(record, file), c.record);
    if (library.Made) {
        EXPECT_EQ(library.Registered(), c.libraryStays);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ComServerFiles, ::testing::ValuesIn(kServerCases),
                         [](const ::testing::TestParamInfo<TServerCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(ComServers, UnregisterTypeLibrary) {
    struct Row {
        const char* name;
        TSource source;
        bool registered;  // registered before the call
        bool result;
    } rows[] = {
        {"missing.tlb", Missing(), false, false},
        {"notes.txt", Bytes("some notes"), false, false},
        {"types.tlb", Fixture("ComStandalone.tlb"), true, true},
        {"server.dll", Fixture("ComServerProbe.dll"), true, true},
        {"Server.exe", Fixture("ComExeServer.exe"), true, true},
        // A library that is not registered cannot be unregistered.
        {"unknown.tlb", Fixture("ComStandalone.tlb"), false, false},
    };
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string file = Stage(dir / r.name, r.source);
        std::unique_ptr<TTypeLibRegistration> library;
        if (r.registered) {
            library.reset(new TTypeLibRegistration(file));
            ASSERT_TRUE(library->Registered());
        }
        EXPECT_EQ(UnregisterTypeLibrary(file), r.result);
        if (library) {
            EXPECT_FALSE(library->Registered());
        }
    }
    // Only the library is touched: no server is called or started.
    EXPECT_EQ(ReadFileBytes(record.Path), "");
}

TEST(ComServers, UnregisterTypeLibraryTakesARelativeNameFromTheCurrentFolder) {
    TTempDir dir;
    std::string file = Stage(dir / "types.tlb", Fixture("ComStandalone.tlb"));
    TTypeLibRegistration library(file);
    ASSERT_TRUE(library.Registered());
    {
        TCurrentFolder current(dir.Path());
        EXPECT_TRUE(UnregisterTypeLibrary("types.tlb"));
    }
    // Loaded by its full path, the library was not registered again.
    EXPECT_FALSE(library.Registered());
}

// The program is started and the call returns at once, while the server is
// still running. The path is quoted: a blank in it must not make another
// program of the first words. LaunchProbe's code pauses for a "sleep=" in its
// command line, here in the folder's name.
TEST(ComServers, ExeServerIsStartedHiddenWithItsPathQuotedAndNotAwaited) {
    TTempDir dir;
    TLaunchRecord record(dir / "record.log");
    std::string decoy = Stage(dir / "My.exe", Fixture("ComExeServer.exe"));
    std::string file = Stage(dir / "My Server sleep=3000\\server.exe", Fixture("ComExeServer.exe"));
    TTypeLibRegistration library(file);
    ASSERT_TRUE(library.Registered());

    DWORD start = GetTickCount();
    EXPECT_TRUE(UnregisterFile(file));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(record.Sequence().find("end"), std::string::npos);
    EXPECT_FALSE(library.Registered());

    ASSERT_TRUE(record.WaitForEnds(1));
    EXPECT_EQ(RecordLines(record, file), (std::vector<std::string>{"start \"%F\" /UNREGSERVER 0", "end"}));
    EXPECT_TRUE(FileExists(decoy));
}
