// The INI routines of zrRegIni and their cache of loaded files, on real files.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "zrRegIni.h"

DWORD RunThisProgramCopy(const std::string& exeName, const std::string& filter);  // RegistryTests.cpp

namespace {

// A scratch folder; the cache is emptied after each test, before the folder goes.
class IniCacheTest : public ::testing::Test {
protected:
    void TearDown() override { CloseAllIniFiles(); }

    std::string MakeFile(const std::string& name, const std::string& content) {
        std::string path = Dir / name;
        WriteFileBytes(path, content);
        return path;
    }

    TTempDir Dir;
};

// True when another program could open the file for writing now.
bool OthersCanWrite(const std::string& path) {
    TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

TEST_F(IniCacheTest, PathKeysIgnoreCase) {
    std::string path = MakeFile("Mixed.ini", "[S]\r\nK=old\r\n");
    std::string lower = AnsiLowerCase(path);
    std::string upper = AnsiUpperCase(path);

    EXPECT_TRUE(WriteIniString(lower, "S", "K", "new"));
    EXPECT_EQ("new", ReadIniString(upper, "s", "k", ""));
    EXPECT_EQ("new", ReadIniString(path, "S", "K", ""));
    EXPECT_EQ("[S]\r\nK=old\r\n", ReadFileBytes(path));  // not written back yet

    TzrIniFile* file = GetIniFile(path, true);
    EXPECT_EQ(file, GetIniFile(lower, false));
    EXPECT_EQ(upper, file->FileName);
}

TEST_F(IniCacheTest, ReadOnlyObjectGivesWayToWritableOne) {
    std::string path = MakeFile("Switch.ini", "[S]\r\nA=1\r\nB=2\r\n");
    EXPECT_EQ("1", ReadIniString(path, "S", "A", ""));
    TzrIniFile* readOnly = GetIniFile(path, true);
    EXPECT_TRUE(readOnly->ReadOnly);
    EXPECT_TRUE(OthersCanWrite(path));  // a read-only object holds no handle

    WriteIniString(path, "S", "A", "changed");
    TzrIniFile* writable = GetIniFile(path, true);  // also serves reads
    EXPECT_NE(readOnly, writable);
    EXPECT_FALSE(writable->ReadOnly);
    EXPECT_EQ(writable, GetIniFile(path, false));
    EXPECT_FALSE(OthersCanWrite(path));  // the writable object holds the file
    EXPECT_EQ("changed", ReadIniString(path, "S", "A", ""));
    EXPECT_EQ("2", ReadIniString(path, "S", "B", ""));

    DeleteIniKey(path, "S", "B");
    EXPECT_EQ("gone", ReadIniString(path, "S", "B", "gone"));
    CloseIniFile(AnsiLowerCase(path));
    EXPECT_EQ("[S]\r\nA=changed\r\n\r\n", ReadFileBytes(path));
    EXPECT_TRUE(OthersCanWrite(path));
}

TEST_F(IniCacheTest, CachedLogServesReadsAfterItsFileWasDeleted) {
    std::string path = MakeFile("install.log", "[Strings]\r\nAppID=Product\r\n[Files]\r\na=1\r\nb=2\r\n");
    EXPECT_EQ("Product", ReadIniString(path, "Strings", "AppID", ""));
    ASSERT_TRUE(DeleteFileA(path.c_str()));

    EXPECT_EQ("Product", ReadIniString(path, "Strings", "AppID", ""));
    TStringList lines;
    ReadIniSectionValues(path, "Files", lines);
    ASSERT_EQ(2, lines.Count());
    EXPECT_EQ("a=1", lines[0]);
    EXPECT_EQ("b=2", lines[1]);

    CloseAllIniFiles();
    EXPECT_EQ("none", ReadIniString(path, "Strings", "AppID", "none"));
    TStringList after;
    ReadIniSectionValues(path, "Files", after);
    EXPECT_EQ(0, after.Count());
    EXPECT_FALSE(FileExists(path));  // reading a missing file creates nothing
}

TEST_F(IniCacheTest, CloseAllIniFilesWritesEachChangedFileOnce) {
    std::string written = MakeFile("a.ini", "; comment\r\n[S]\r\nK = 1\r\n");
    std::string deleted = MakeFile("b.ini", "[S]\r\nK=1\r\nL=2\r\n");
    std::string readOnly = MakeFile("c.ini", "; comment\r\n[S]\r\nK = 1\r\n");
    std::string created = Dir / "sub\\d.ini";

    WriteIniString(written, "S", "New", "2");
    DeleteIniKey(deleted, "S", "K");
    WriteIniString(created, "T", "K", "v");
    EXPECT_EQ("1", ReadIniString(readOnly, "S", "K", ""));
    EXPECT_EQ("[S]\r\nK=1\r\nL=2\r\n", ReadFileBytes(deleted));
    EXPECT_FALSE(FileExists(created));

    CloseAllIniFiles();
    EXPECT_EQ("[S]\r\nK=1\r\nNew=2\r\n\r\n", ReadFileBytes(written));
    EXPECT_EQ("[S]\r\nL=2\r\n\r\n", ReadFileBytes(deleted));
    EXPECT_EQ("[T]\r\nK=v\r\n\r\n", ReadFileBytes(created));
    EXPECT_EQ("; comment\r\n[S]\r\nK = 1\r\n", ReadFileBytes(readOnly));

    // The cache is empty now: a second call writes nothing over later changes.
    WriteFileBytes(written, "[S]\r\nK=external\r\n");
    CloseAllIniFiles();
    EXPECT_EQ("[S]\r\nK=external\r\n", ReadFileBytes(written));
    EXPECT_EQ("external", ReadIniString(written, "S", "K", ""));
}

TEST_F(IniCacheTest, ReadIniIntegerAndBool) {
    std::string path = MakeFile("numbers.ini",
                                "[N]\r\nHex=$10\r\nCHex=0x10\r\nNeg=-5\r\nJunk=12abc\r\nEmpty=\r\n"
                                "Big=4294967296\r\nAllF=$FFFFFFFF\r\n"
                                "[B]\r\nOne=1\r\nTrue=true\r\nTwo=2\r\nZeroOne=01\r\nZero=0\r\n");
    const struct {
        const char* Key;
        int Expected;
    } integers[] = {
        {"Hex", 16}, {"CHex", 7}, {"Neg", -5}, {"Junk", 7}, {"Empty", 7}, {"Big", 7}, {"AllF", -1}, {"Missing", 7},
    };
    for (const auto& row : integers) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(row.Expected, ReadIniInteger(path, "N", row.Key, 7));
    }
    const struct {
        const char* Key;
        bool Default;
        bool Expected;
    } bools[] = {
        {"One", false, true},    {"True", true, false},   {"Two", true, false},     {"ZeroOne", true, false},
        {"Zero", true, false},   {"Missing", true, true}, {"Missing", false, false},
    };
    for (const auto& row : bools) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(row.Expected, ReadIniBool(path, "B", row.Key, row.Default));
    }
}

TEST_F(IniCacheTest, SectionReads) {
    std::string path = MakeFile("sections.ini", "[S]\r\nK1=a\r\nK2 = b\r\n[Empty]\r\n");
    TStringList keys;
    keys.Add("earlier");
    ReadIniSection(path, "s", keys);
    ASSERT_EQ(3, keys.Count());
    EXPECT_EQ("K1", keys[1]);
    EXPECT_EQ("K2", keys[2]);

    TStringList lines;
    lines.Add("kept=1");
    ReadIniSectionValues(path, "Missing", lines);
    ASSERT_EQ(1, lines.Count());
    EXPECT_EQ("kept=1", lines[0]);

    EXPECT_EQ(2, CountIniSectionValues(path, "S"));
    EXPECT_EQ(0, CountIniSectionValues(path, "Empty"));
    EXPECT_EQ(0, CountIniSectionValues(path, "Missing"));
    EXPECT_EQ(0, CountIniSectionValues(Dir / "missing.ini", "S"));
}

// A file that another program holds open for writing cannot be opened by a
// writable object: the write raises and the cache stays as it was.
TEST_F(IniCacheTest, WriteToFileHeldByAnotherWriter) {
    std::string path = MakeFile("held.ini", "[S]\r\nK=old\r\n");
    EXPECT_EQ("old", ReadIniString(path, "S", "K", ""));
    TzrIniFile* cached = GetIniFile(path, true);
    {
        TFileHandle holder(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder.Valid());
        for (int attempt = 0; attempt < 2; ++attempt) {
            SCOPED_TRACE(attempt == 0 ? "WriteIniString" : "DeleteIniKey");
            try {
                if (attempt == 0)
                    WriteIniString(path, "S", "K", "new");
                else
                    DeleteIniKey(path, "S", "K");
                ADD_FAILURE() << "no exception";
            } catch (const EInOutError& e) {
                EXPECT_EQ("Cannot open file " + AnsiUpperCase(path), e.Message());
            }
            EXPECT_EQ(cached, GetIniFile(path, true));
            EXPECT_TRUE(cached->ReadOnly);
            EXPECT_EQ("old", ReadIniString(path, "S", "K", ""));
        }
    }
    EXPECT_TRUE(WriteIniString(path, "S", "K", "new"));
    EXPECT_EQ("new", ReadIniString(path, "S", "K", ""));
}

// The main thread reads through the cache while the uninstall worker edits
// and empties it.
TEST_F(IniCacheTest, ReadsWhileAnotherThreadEmptiesTheCache) {
    std::string path = MakeFile("shared.ini", "[Display]\r\nCharset=1\r\nFont=Arial\r\n");
    std::string edited = Dir / "edited.ini";
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, closes{0}, wrong{0}, errors{0};

    std::thread reader([&] {
        try {
            while (!stop) {
                if (ReadIniString(AnsiLowerCase(path), "Display", "Charset", "") != "1") ++wrong;
                if (CountIniSectionValues(path, "Display") != 2) ++wrong;
                ++reads;
            }
        } catch (...) {
            ++errors;
        }
    });
    std::thread worker([&] {
        try {
            for (int n = 0; !stop; ++n) {
                WriteIniString(edited, "S", "N", IntToStr(n));
                CloseAllIniFiles();
                ++closes;
            }
        } catch (...) {
            ++errors;
        }
    });
    Sleep(1200);
    stop = true;
    reader.join();
    worker.join();

    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0, errors.load());
    EXPECT_GT(reads.load(), 10);
    EXPECT_GT(closes.load(), 10);
    EXPECT_EQ(std::to_string(closes.load() - 1), ReadIniString(edited, "S", "N", ""));
}

// At program end the cache's objects are destroyed, which writes their
// changes back. A copy of this program changes a file and ends without
// closing it.
const char kAtExitFileVariable[] = "REGINI_AT_EXIT_FILE";

TEST(IniCacheAtExit, ChangeLeftInCache) {
    char path[1024];
    DWORD length = GetEnvironmentVariableA(kAtExitFileVariable, path, sizeof path);
    if (length == 0 || length >= sizeof path) GTEST_SKIP() << "started by ProgramEndWritesChangesBack";
    WriteIniString(path, "S", "K", "written at the end");
}

TEST_F(IniCacheTest, ProgramEndWritesChangesBack) {
    std::string path = MakeFile("end.ini", "[S]\r\nK=old\r\n");
    ASSERT_TRUE(SetEnvironmentVariableA(kAtExitFileVariable, path.c_str()));
    DWORD exitCode = RunThisProgramCopy(UniqueName("reginiexit") + ".exe", "IniCacheAtExit.*");
    SetEnvironmentVariableA(kAtExitFileVariable, nullptr);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("[S]\r\nK=written at the end\r\n\r\n", ReadFileBytes(path));
}

}  // namespace
