#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "zrFileFind.h"
#include "zrRtl.h"

namespace {

using TNames = std::vector<std::string>;

// A scratch folder holding one file of each attribute word, and a subfolder.
class FileFindTest : public ::testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char* Name;
            DWORD Attr;
        } files[] = {
            {"archive.txt", FILE_ATTRIBUTE_ARCHIVE},
            {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
            {"system.txt", FILE_ATTRIBUTE_SYSTEM},
            {"readonly.txt", FILE_ATTRIBUTE_READONLY},
            {"normal.txt", FILE_ATTRIBUTE_NORMAL},
        };
        for (const auto& file : files) {
            WriteFileBytes(Dir / file.Name, "x");
            ASSERT_TRUE(SetFileAttributesA((Dir / file.Name).c_str(), file.Attr));
        }
        ASSERT_TRUE(CreateDirectoryA((Dir / "sub").c_str(), nullptr));
    }

    // Every name one search delivers, sorted; the result of the call that
    // ended it goes to lastResult.
    static TNames Collect(const std::string& pattern, DWORD include, DWORD exclude, DWORD& lastResult) {
        TNames names;
        TSearchRecEx rec;
        TFindScope scope(rec);
        for (lastResult = FindFirstEx(pattern, include, exclude, rec); lastResult == 0 && names.size() < 100;
             lastResult = FindNextEx(rec))
            names.push_back(rec.Name);
        std::sort(names.begin(), names.end());
        return names;
    }

    TTempDir Dir;
};

}  // namespace

TEST_F(FileFindTest, MasksSelectEntriesAndDotEntriesNeverCome) {
    const TNames allFiles = {"archive.txt", "hidden.txt", "normal.txt", "readonly.txt", "system.txt"};
    struct TRow {
        const char* What;
        DWORD Include;
        DWORD Exclude;
        TNames Names;
    } rows[] = {
        {"0 becomes 63; 24 drops folders and labels: every file", 0, 24, allFiles},
        {"63 lets every entry pass", 63, 0,
         {"archive.txt", "hidden.txt", "normal.txt", "readonly.txt", "sub", "system.txt"}},
        {"hidden or system", 2 | 4, 0, {"hidden.txt", "system.txt"}},
        {"folders only", 16, 0, {"sub"}},
        {"one bit shared with include is enough", 1 | 16, 16, {"readonly.txt"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        DWORD result = 0;
        EXPECT_EQ(Collect(Dir / "*", row.Include, row.Exclude, result), row.Names);
        EXPECT_EQ(result, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    }
}

// Only 63 itself lets an entry pass that has none of the six bits. Wine sets
// the archive bit on every file, so there the case cannot be made.
TEST_F(FileFindTest, NormalFilePassesOnlyTheFullIncludeMask) {
    if (GetFileAttributesA((Dir / "normal.txt").c_str()) != FILE_ATTRIBUTE_NORMAL)
        GTEST_SKIP() << "this system marks every file archive";
    struct TRow {
        DWORD Include;
        DWORD Exclude;
        TNames Names;
    } rows[] = {
        {63, 0, {"archive.txt", "hidden.txt", "normal.txt", "readonly.txt", "sub", "system.txt"}},
        {32, 0, {"archive.txt"}},
        {63, 63, {"normal.txt"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Include);
        DWORD result = 0;
        EXPECT_EQ(Collect(Dir / "*", row.Include, row.Exclude, result), row.Names);
    }
}

TEST_F(FileFindTest, NothingWantedGives18AndNoOpenSearch) {
    ASSERT_TRUE(CreateDirectoryA((Dir / "empty").c_str(), nullptr));
    struct TRow {
        const char* What;
        std::string Pattern;
        DWORD Include;
        DWORD Exclude;
    } rows[] = {
        {"only . and ..", Dir / "empty\\*", 0, 24},
        {"included folders, excluded too", Dir / "*", 16, 16},
        {"only a folder, excluded", Dir / "su*", 0, 24},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TSearchRecEx rec;
        EXPECT_EQ(FindFirstEx(row.Pattern, row.Include, row.Exclude, rec), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_EQ(rec.FindHandle, INVALID_HANDLE_VALUE);
        FindCloseEx(rec);  // does nothing after a failed FindFirstEx
    }
}

TEST_F(FileFindTest, NoMatchGivesTheErrorOfFindFirstFileA) {
    for (const std::string& pattern : {Dir / "*.none", Dir / "missing\\*", std::string("Q:\\*")}) {
        SCOPED_TRACE(pattern);
        WIN32_FIND_DATAA data;
        TFindHandle direct(FindFirstFileA(pattern.c_str(), &data));
        ASSERT_FALSE(direct.Valid());
        const DWORD expected = GetLastError();
        TSearchRecEx rec;
        EXPECT_EQ(FindFirstEx(pattern, 0, 24, rec), expected);
        EXPECT_NE(expected, 0u);
        EXPECT_EQ(rec.FindHandle, INVALID_HANDLE_VALUE);
    }
}

TEST_F(FileFindTest, PathIsTheFolderPartOfThePattern) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(Dir.Path().c_str()));
    struct TRow {
        std::string Pattern;
        std::string Path;
    } rows[] = {
        {Dir / "arch*", Dir.Path() + "\\"},
        {"arch*", ""},      // a bare mask: FullName is Name
        {"C:arch*", "C:"},  // the current directory of drive C:
        {"sub\\..\\arch*", "sub\\..\\"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Pattern);
        TSearchRecEx rec;
        TFindScope scope(rec);
        // No ASSERT here: the current directory must be restored below.
        EXPECT_EQ(FindFirstEx(row.Pattern, 0, 24, rec), 0u);
        EXPECT_EQ(rec.Path, row.Path);
        EXPECT_EQ(rec.Name, "archive.txt");
        EXPECT_EQ(rec.FullName, row.Path + "archive.txt");
    }
    if (!SetCurrentDirectoryA(previous)) SetCurrentDirectoryA("C:\\");  // see FileUtilsTests
}

TEST_F(FileFindTest, RecordTakesTimeSizeAndAttributesOfTheEntry) {
    const std::string path = Dir / "stamped.bin";
    WriteFileBytes(path, std::string(1234, 's'));
    // 2004-05-06 07:08:10 local time; a DOS time counts seconds in twos.
    SYSTEMTIME localTime = {2004, 5, 4, 6, 7, 8, 10, 0};
    FILETIME local, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&localTime, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    {
        TFileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &utc));
    }
    const DWORD dosDate = (2004 - 1980) << 9 | 5 << 5 | 6;
    const DWORD dosTime = 7 << 11 | 8 << 5 | 10 / 2;

    TSearchRecEx rec;
    TFindScope scope(rec);
    ASSERT_EQ(FindFirstEx(path, 0, 0, rec), 0u);
    EXPECT_EQ(rec.Time, dosDate << 16 | dosTime);
    EXPECT_EQ(rec.Size, 1234u);
    EXPECT_EQ(rec.Attr, rec.FindData.dwFileAttributes);
    EXPECT_EQ(rec.IncludeAttr, 63u);
}

TEST_F(FileFindTest, SizeKeepsTheLow32BitsOfALargeFile) {
    {
        // Sparse: 4 GiB and 5 bytes cost no disk space.
        TFileHandle big(CreateFileA((Dir / "big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(big.Valid());
        LARGE_INTEGER size;
        size.QuadPart = 0x100000005LL;
        ASSERT_TRUE(SetFilePointerEx(big.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(big.Get()));
    }
    TSearchRecEx rec;
    TFindScope scope(rec);
    ASSERT_EQ(FindFirstEx(Dir / "big.bin", 0, 24, rec), 0u);
    EXPECT_EQ(rec.Size, 5u);
    EXPECT_EQ(rec.FindData.nFileSizeHigh, 1u);
}

TEST_F(FileFindTest, SearchStaysOpenAfterItsEndUntilFindCloseEx) {
    TSearchRecEx rec;
    ASSERT_EQ(FindFirstEx(Dir / "arch*", 0, 24, rec), 0u);
    EXPECT_EQ(FindNextEx(rec), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_NE(rec.FindHandle, INVALID_HANDLE_VALUE);
    FindCloseEx(rec);
    EXPECT_EQ(rec.FindHandle, INVALID_HANDLE_VALUE);
    FindCloseEx(rec);  // a second close, as a TFindScope would make, is harmless
}

// In code page 932 the character 0x95 0x5C ends in the byte of "\": it is no
// folder separator. Runs only when the system code page is 932 (Wine:
// LC_ALL=ja_JP.UTF-8, with that locale generated on the Linux side).
TEST_F(FileFindTest, DoubleByteCharacterEndingIn5CIsNoSeparator) {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932";
    const std::string name = "a\x95\x5C.txt";
    WriteFileBytes(Dir / name, "x");
    TSearchRecEx rec;
    TFindScope scope(rec);
    ASSERT_EQ(FindFirstEx(Dir / "a\x95\x5C*", 0, 24, rec), 0u);
    EXPECT_EQ(rec.Path, Dir.Path() + "\\");
    EXPECT_EQ(rec.FullName, Dir / name);
}
