// Environment variables in the registry (NT family), the rewrite of SET
// lines in a batch file, c:\autoexec.bat itself, and the normalized form of
// a semicolon list.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestSupport.h"
#include "Uninstall.h"
#include "utils.h"
#include "zrRtl.h"

namespace {

const char kSystemKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kUserKey[] = "Environment";

HKEY RootOf(bool systemWide) { return systemWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const char* SubKeyOf(bool systemWide) { return systemWide ? kSystemKey : kUserKey; }

// A variable name of its own for each test, removed from both environment
// keys when the object goes.
struct TScratchVariable {
    std::string Name = UniqueName("EnvTest");
    ~TScratchVariable() {
        for (bool systemWide : {false, true}) {
            TKeyHandle key;
            if (RegOpenKeyExA(RootOf(systemWide), SubKeyOf(systemWide), 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS)
                RegDeleteValueA(key.Get(), Name.c_str());
        }
    }
};

void SetValue(bool systemWide, const std::string& name, DWORD type, const std::string& text) {
    TKeyHandle key;
    ASSERT_EQ(RegCreateKeyA(RootOf(systemWide), SubKeyOf(systemWide), key.Put()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

// The value's type and text as stored; type REG_NONE when it is missing.
DWORD StoredValue(bool systemWide, const std::string& name, std::string& text) {
    TKeyHandle key;
    if (RegOpenKeyExA(RootOf(systemWide), SubKeyOf(systemWide), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return REG_NONE;
    char buffer[1024] = {};
    DWORD type = REG_NONE, size = sizeof buffer - 1;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return REG_NONE;
    text = buffer;
    return type;
}

using TNames = std::vector<std::string>;

}  // namespace

// ------------------------------------------------------- process environment

TEST(ProcessEnvVar, GivesTheValueOrEmpty) {
    std::string name = UniqueName("EnvTest");
    std::string longValue(5000, 'x');
    struct TRow {
        const char* Name;
        const char* Set;  // nullptr: the variable does not exist
        std::string Value;
    } const rows[] = {
        {"plain value", "C:\\App;C:\\Other", "C:\\App;C:\\Other"},
        {"empty value", "", ""},
        {"missing", nullptr, ""},
        {"longer than the first buffer", longValue.c_str(), longValue},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        SetEnvironmentVariableA(name.c_str(), row.Set);
        EXPECT_EQ(ProcessEnvVar(name), row.Value);
    }
    SetEnvironmentVariableA(name.c_str(), nullptr);
    EXPECT_EQ(ProcessEnvVar(""), "");
}

// ------------------------------------------------ registry (the NT family)

TEST(EnvVarsRegistry, ReadsAndWritesInTheKeyOfTheScope) {
    ASSERT_TRUE(IsWinNT());
    for (bool systemWide : {false, true}) {
        SCOPED_TRACE(systemWide ? "machine" : "user");
        TScratchVariable variable;
        std::string text;
        EXPECT_EQ(ReadEnvVar(variable.Name, systemWide), "");

        EXPECT_TRUE(WriteEnvVar(variable.Name, "C:\\App;C:\\Tools", systemWide));
        EXPECT_EQ(StoredValue(systemWide, variable.Name, text), static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(text, "C:\\App;C:\\Tools");
        EXPECT_EQ(StoredValue(!systemWide, variable.Name, text), static_cast<DWORD>(REG_NONE));
        EXPECT_EQ(ReadEnvVar(variable.Name, systemWide), "C:\\App;C:\\Tools");
        EXPECT_EQ(ReadEnvVar(variable.Name, !systemWide), "");

        EXPECT_TRUE(WriteEnvVar(variable.Name, "", systemWide));
        EXPECT_EQ(StoredValue(systemWide, variable.Name, text), static_cast<DWORD>(REG_NONE));
        EXPECT_FALSE(WriteEnvVar(variable.Name, "", systemWide)) << "nothing was there to delete";
    }
}

// A REG_EXPAND_SZ value is read unexpanded and stays REG_EXPAND_SZ when
// written: as REG_SZ, "%SystemRoot%" in the system Path would no longer be
// expanded. Other types become REG_SZ.
TEST(EnvVarsRegistry, ExpandableValueKeepsItsType) {
    struct TRow {
        const char* Name;
        bool SystemWide;
        DWORD Type, TypeAfter;
    } const rows[] = {
        {"machine, expandable", true, REG_EXPAND_SZ, REG_EXPAND_SZ},
        {"user, expandable", false, REG_EXPAND_SZ, REG_EXPAND_SZ},
        {"user, plain string", false, REG_SZ, REG_SZ},
        {"user, multi-string", false, REG_MULTI_SZ, REG_SZ},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TScratchVariable variable;
        SetValue(row.SystemWide, variable.Name, row.Type, "%SystemRoot%\\system32;C:\\App");
        if (row.Type != REG_MULTI_SZ) {
            EXPECT_EQ(ReadEnvVar(variable.Name, row.SystemWide), "%SystemRoot%\\system32;C:\\App");
        }
        EXPECT_TRUE(WriteEnvVar(variable.Name, "%SystemRoot%\\system32", row.SystemWide));
        std::string text;
        EXPECT_EQ(StoredValue(row.SystemWide, variable.Name, text), row.TypeAfter);
        EXPECT_EQ(text, "%SystemRoot%\\system32");
    }
}

TEST(EnvVarsRegistry, EmptyNameTouchesNothing) {
    EXPECT_EQ(ReadEnvVar("", false), "");
    EXPECT_EQ(ReadEnvVar("", true), "");
    EXPECT_FALSE(WriteEnvVar("", "C:\\App", false));
    EXPECT_FALSE(WriteEnvVar("", "", true));
    std::string text;
    EXPECT_EQ(StoredValue(false, "", text), static_cast<DWORD>(REG_NONE));
}

// ------------------------------------------------------- batch file rewrite

TEST(BatchFileVar, RewritesTheSetLineOfTheVariable) {
    struct TRow {
        const char* Name;
        const char* Before;
        const char* Variable;
        const char* Value;
        const char* After;
    } const rows[] = {
        {"replaced, the name as passed", "@echo off\r\nset path=C:\\WINDOWS;C:\\App\r\nprompt $p$g\r\n", "PATH",
         "C:\\WINDOWS", "@echo off\r\nSET PATH=C:\\WINDOWS\r\nprompt $p$g\r\n"},
        {"deleted", "@echo off\r\nset path=C:\\WINDOWS;C:\\App\r\nprompt $p$g\r\n", "PATH", "",
         "@echo off\r\nprompt $p$g\r\n"},
        {"appended when missing", "@echo off\r\nprompt $p$g\r\n", "APPHOME", "C:\\App",
         "@echo off\r\nprompt $p$g\r\nSET APPHOME=C:\\App\r\n"},
        {"missing and deleted: unchanged", "@echo off\r\n", "APPHOME", "", "@echo off\r\n"},
        {"other lines keep their blanks, the replaced one not", "  rem start\r\n\t SET  AppHome=C:\\Old \r\n  cls\r\n",
         "APPHOME", "C:\\New", "  rem start\r\nSET APPHOME=C:\\New\r\n  cls\r\n"},
        {"a blank before = is part of the name", "SET APPHOME =C:\\Old\r\n", "APPHOME", "C:\\New",
         "SET APPHOME =C:\\Old\r\nSET APPHOME=C:\\New\r\n"},
        {"a value that mentions the name does not count", "SET OTHER=%APPHOME%\\bin\r\n", "APPHOME", "",
         "SET OTHER=%APPHOME%\\bin\r\n"},
        {"SET without = names the whole rest", "SET APPHOME\r\nrem\r\n", "apphome", "x", "SET apphome=x\r\nrem\r\n"},
        {"SET must be followed by a blank", "SETAPPHOME=1\r\n", "APPHOME", "2", "SETAPPHOME=1\r\nSET APPHOME=2\r\n"},
        {"every matching line", "SET A=1\r\nrem\r\nset a=2\r\n", "A", "3", "SET A=3\r\nrem\r\nSET A=3\r\n"},
        {"LF line ends stay separate lines", "@echo off\nSET A=1\nrem\n", "A", "2",
         "@echo off\r\nSET A=2\r\nrem\r\n"},
        {"no line end after the last line", "rem\r\nSET A=1", "B", "2", "rem\r\nSET A=1\r\nSET B=2\r\n"},
        {"empty lines kept, none added", "rem\r\n\r\n\r\n", "A", "1", "rem\r\n\r\n\r\nSET A=1\r\n"},
        {"empty file", "", "A", "1", "SET A=1\r\n"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempDir dir;
        std::string batch = dir / "autoexec.bat";
        WriteFileBytes(batch, row.Before);
        EXPECT_TRUE(SetBatchFileVar(batch, row.Variable, row.Value));
        EXPECT_EQ(ReadFileBytes(batch), row.After);
        EXPECT_EQ(FolderEntries(dir.Path()), TNames{"autoexec.bat"}) << "the new file or a backup was left";
    }
}

TEST(BatchFileVar, NoBatchFileOrNoNameChangesNothing) {
    TTempDir dir;
    std::string batch = dir / "autoexec.bat";
    EXPECT_FALSE(SetBatchFileVar(batch, "A", "1"));
    EXPECT_FALSE(SetBatchFileVar(batch, "A", ""));
    EXPECT_EQ(FolderEntries(dir.Path()), TNames{});
    // An empty name would match every line that is no SET line.
    WriteFileBytes(batch, "@echo off\r\nSET =x\r\n");
    EXPECT_FALSE(SetBatchFileVar(batch, "", ""));
    EXPECT_EQ(ReadFileBytes(batch), "@echo off\r\nSET =x\r\n");
    EXPECT_EQ(FolderEntries(dir.Path()), TNames{"autoexec.bat"});
}

// Another program holds the batch file open. Without sharing it cannot even
// be read: an I/O error. With read sharing only it cannot be renamed, so the
// new file cannot take its place: false. With delete sharing DeleteFileA
// would leave its name taken until that program closes it; the rename frees
// the name. In every case the old content stays whole until the new one is
// in place, and no other file is left behind.
TEST(BatchFileVar, FileHeldOpenByAnotherProgram) {
    struct TRow {
        const char* Name;
        DWORD Sharing;
        bool Throws, Result;
    } const rows[] = {
        {"no sharing", 0, true, false},
        {"read sharing", FILE_SHARE_READ, false, false},
        {"delete sharing", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, true},
    };
    const std::string before = "@echo off\r\nSET A=1\r\n";
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempDir dir;
        std::string batch = dir / "autoexec.bat";
        WriteFileBytes(batch, before);
        {
            TFileHandle held(CreateFileA(batch.c_str(), GENERIC_READ, row.Sharing, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held.Valid());
            if (row.Throws) {
                EXPECT_THROW(SetBatchFileVar(batch, "A", "2"), EInOutError);
            } else {
                EXPECT_EQ(SetBatchFileVar(batch, "A", "2"), row.Result);
            }
        }
        EXPECT_EQ(ReadFileBytes(batch), row.Result ? "@echo off\r\nSET A=2\r\n" : before);
        EXPECT_EQ(FolderEntries(dir.Path()), TNames{"autoexec.bat"});
    }
}

// The old file is renamed away, not deleted, until the new one is in
// place; when the new one cannot be moved in, the old one is put back.
TEST(ReplaceFileKeepingOld, OldFileIsNeverLost) {
    enum TNewFile { Ready, Missing, HeldOpen };
    struct TRow {
        const char* Name;
        TNewFile NewFile;
        bool TargetExists, Result;
    } const rows[] = {
        {"replaced", Ready, true, true},
        {"new file missing", Missing, true, false},
        {"new file held open without sharing", HeldOpen, true, false},
        {"no target", Ready, false, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempDir dir;
        std::string target = dir / "autoexec.bat", newFile = dir / "NEWFILE.BAT";
        if (row.TargetExists) WriteFileBytes(target, "old");
        if (row.NewFile != Missing) WriteFileBytes(newFile, "new");
        TFileHandle held;
        if (row.NewFile == HeldOpen) {
            held.Reset(CreateFileA(newFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
            ASSERT_TRUE(held.Valid());
        }
        EXPECT_EQ(ReplaceFileKeepingOld(newFile, target), row.Result);
        held.Reset();
        TNames expected;
        if (row.Result) {
            EXPECT_EQ(ReadFileBytes(target), "new");
            expected = {"autoexec.bat"};
        } else {
            if (row.TargetExists) {
                EXPECT_EQ(ReadFileBytes(target), "old");
                expected.push_back("autoexec.bat");
            }
            if (row.NewFile != Missing) expected.push_back("NEWFILE.BAT");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(FolderEntries(dir.Path()), expected) << "a backup was left";
    }
}

// c:\autoexec.bat itself, saved and put back: a system-wide file, so this
// test program runs alone (RUN_SERIAL).
TEST(AutoexecVar, RewritesTheBatchFileInTheRootOfC) {
    const std::string path = "c:\\autoexec.bat";
    const bool had = FileExists(path);
    const std::string saved = ReadFileBytes(path);
    const std::vector<std::string> rootBefore = FolderEntries("c:");
    std::string name = UniqueName("EnvTest");

    DeleteFileA(path.c_str());
    EXPECT_FALSE(SetAutoexecVar(name, "C:\\App"));
    EXPECT_FALSE(FileExists(path));

    WriteFileBytes(path, "@echo off\r\nSET " + name + "=C:\\Old\r\n");
    EXPECT_TRUE(SetAutoexecVar(name, "C:\\New"));
    EXPECT_EQ(ReadFileBytes(path), "@echo off\r\nSET " + name + "=C:\\New\r\n");
    EXPECT_TRUE(SetAutoexecVar(name, ""));
    EXPECT_EQ(ReadFileBytes(path), "@echo off\r\n");

    DeleteFileA(path.c_str());
    if (had) WriteFileBytes(path, saved);
    EXPECT_EQ(FolderEntries("c:"), rootBefore) << "a file was left in c:\\";
}

// --------------------------------------------------------- semicolon lists

TEST(NormalizePathList, TrimsAndDropsEmptyAndRepeatedItems) {
    struct TRow {
        const char *List, *Normalized;
    } const rows[] = {
        {"", ""},
        {";;;", ""},
        {"C:\\A", "C:\\A"},
        {";;C:\\A;;C:\\B;", "C:\\A;C:\\B"},
        {" C:\\A ;\tC:\\B\r\n; ;C:\\A", "C:\\A;C:\\B"},
        {"C:\\App;c:\\APP;C:\\Other", "C:\\App;C:\\Other"},
        {"C:\\Program Files\\App;C:\\Program Files", "C:\\Program Files\\App;C:\\Program Files"},
        {"%SystemRoot%\\system32;%SYSTEMROOT%\\System32;.", "%SystemRoot%\\system32;."},
    };
    for (const TRow& row : rows) EXPECT_EQ(NormalizePathList(row.List), row.Normalized) << "[" << row.List << "]";
}

// Only the new item's short form is compared with the items taken: an
// existing folder named short first and long later occurs once, long first
// and short later twice.
TEST(NormalizePathList, ShortFormOfANewItemCountsAsTheSame) {
    TTempDir dir;
    std::string longName = dir / "Long Folder Name";
    ASSERT_TRUE(CreateDirectoryA(longName.c_str(), nullptr));
    char buffer[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(longName.c_str(), buffer, MAX_PATH), 0u);
    std::string shortName = buffer;
    ASSERT_NE(shortName, longName);

    EXPECT_EQ(NormalizePathList(shortName + ";" + longName), shortName);
    EXPECT_EQ(NormalizePathList(longName + ";" + shortName), longName + ";" + shortName);
}
