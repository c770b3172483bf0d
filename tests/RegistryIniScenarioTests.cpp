// The real Uninstall.exe giving registry values and INI keys back their old
// state and deleting the registry keys the installer created.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "zrRtl.h"

namespace {

const DWORD EXIT_FAILED = 0xFFFFFFFF;  // the program's -1

// The bytes of a literal, inner zeros and all (not its closing zero).
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct TRegValue {
    DWORD Type = REG_NONE;  // REG_NONE: no such value
    std::string Data;
};

TRegValue ReadValue(HKEY root, const std::string& subKey, const std::string& name) {
    TRegValue value;
    TKeyHandle key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return value;
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return value;
    std::string data(size, '\0');
    if (size > 0 && RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                                     &size) != ERROR_SUCCESS)
        return value;
    value.Type = type;
    value.Data = data.substr(0, size);
    return value;
}

void WriteValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type, const std::string& data) {
    TKeyHandle key;
    ASSERT_EQ(RegCreateKeyA(root, subKey.c_str(), key.Put()), ERROR_SUCCESS) << subKey;
    RegSetValueExA(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
}

void MakeKey(HKEY root, const std::string& subKey) {
    TKeyHandle key;
    ASSERT_EQ(RegCreateKeyA(root, subKey.c_str(), key.Put()), ERROR_SUCCESS) << subKey;
}

bool KeyExists(HKEY root, const std::string& subKey) {
    TKeyHandle key;
    return RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::vector<std::string> SubKeyNames(HKEY root, const std::string& subKey) {
    std::vector<std::string> names;
    TKeyHandle key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// A file of the test's own in the Windows folder, deleted when the object goes.
class TWindowsFolderFile {
public:
    TWindowsFolderFile() : Name(UniqueName("UninstallTest") + ".ini"), Path(WindowsFolder() + "\\" + Name) {}
    ~TWindowsFolderFile() { DeleteFileA(Path.c_str()); }
    TWindowsFolderFile(const TWindowsFolderFile&) = delete;
    TWindowsFolderFile& operator=(const TWindowsFolderFile&) = delete;
    const std::string Name;
    const std::string Path;
};

// A silent run that ends with 0. Its self-removing batch file is waited
// for, so that the scratch folder can go with the test.
::testing::AssertionResult UninstallSucceeds(const TProduct& product) {
    DWORD code = product.Run("/s");
    if (code != 0) return ::testing::AssertionFailure() << "exit code " << code;
    if (!WaitUntilGone(product.AppDir())) return ::testing::AssertionFailure() << product.AppDir() << " stays";
    Sleep(200);  // the batch file deletes itself last
    return ::testing::AssertionSuccess();
}

// A file held open by this process as another program would hold it: read
// access, others may only read.
TFileHandle HoldOpen(const std::string& path) {
    return TFileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

// ------------------------------------------------------------------- AddReg

// One AddReg entry below the scratch key and the value it must leave.
struct TAddRegCase {
    const char* Entry;      // the log line after the scratch key's path
    const char* SubKey;     // where the value lies, relative to the scratch key
    const char* ValueName;
    bool Installed;         // the installer left REG_SZ "installed" there
    DWORD Type;             // expected afterwards; REG_NONE: no value
    std::string Data;
};

const std::string kInstalled = Bytes("installed\0");

std::string CaseKey(const TTempRegKey& scratch, const TAddRegCase& c) {
    return *c.SubKey ? scratch.SubKey() + "\\" + c.SubKey : scratch.SubKey();
}

const TAddRegCase kAddRegCases[] = {
    {"\\Sz=1,2.0", "", "Sz", true, REG_SZ, Bytes("2.0\0")},
    // Kept as REG_EXPAND_SZ, so %SystemRoot% is still expanded by its readers.
    {"\\Expand=2,%SystemRoot%\\x", "", "Expand", true, REG_EXPAND_SZ, Bytes("%SystemRoot%\\x\0")},
    {"\\Bin=3,0A1B", "", "Bin", true, REG_BINARY, Bytes("\x0a\x1b")},
    {"\\Dword=4,1", "", "Dword", true, REG_DWORD, Bytes("\x01\0\0\0")},
    {"\\DwordMax=4,4294967295", "", "DwordMax", true, REG_DWORD, Bytes("\xff\xff\xff\xff")},
    {"\\Multi=7,a||b", "", "Multi", true, REG_MULTI_SZ, Bytes("a\0b\0\0")},
    {"\\SzBreak=1,a||b", "", "SzBreak", true, REG_SZ, Bytes("a\r\nb\0")},
    {"\\EmptySz=1,", "", "EmptySz", true, REG_SZ, Bytes("\0")},
    {"\\Gone=0,,", "", "Gone", true, REG_NONE, ""},
    {"\\NotANumber=x,abc", "", "NotANumber", true, REG_NONE, ""},
    {"\\NeverThere=0,", "", "NeverThere", false, REG_NONE, ""},
    // No text form: nothing written, whatever is there stays.
    {"\\NoTextForm=5,0A", "", "NoTextForm", true, REG_SZ, kInstalled},
    {"\\NoTextFormNew=5,0A", "", "NoTextFormNew", false, REG_NONE, ""},
    // A comma in the old data: apostrophes go, double quotes stay, bare cuts.
    {"\\InApostrophes=1,'a,b'", "", "InApostrophes", true, REG_SZ, Bytes("a,b\0")},
    {"\\InDoubleQuotes=1,\"a,b\"", "", "InDoubleQuotes", true, REG_SZ, Bytes("\"a,b\"\0")},
    {"\\Bare=1,a,b", "", "Bare", true, REG_SZ, Bytes("a\0")},
    // Value names that hold backslashes or apostrophes, and the default value.
    {"\\'a\\b'=1,back", "", "a\\b", true, REG_SZ, Bytes("back\0")},
    {"\\'it''s'=1,apostrophe", "", "it's", true, REG_SZ, Bytes("apostrophe\0")},
    {"\\=1,default", "", "", true, REG_SZ, Bytes("default\0")},
    // The key is gone: made again, with its parents.
    {"\\Gone Key\\Deep\\V=4,9", "Gone Key\\Deep", "V", false, REG_DWORD, Bytes("\x09\0\0\0")},
};

TEST(RegistryEntries, AddRegGivesEveryValueBackItsOldTypeAndData) {
    TProduct product;
    TTempRegKey scratch;
    MakeKey(scratch.Root(), scratch.SubKey());
    std::string log = "[AddReg]\r\n";
    for (const TAddRegCase& c : kAddRegCases) {
        const std::string subKey = CaseKey(scratch, c);
        if (c.Installed) WriteValue(scratch.Root(), subKey, c.ValueName, REG_SZ, kInstalled);
        log += scratch.Path() + c.Entry + "\r\n";
    }
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog(log);

    EXPECT_TRUE(UninstallSucceeds(product));

    for (const TAddRegCase& c : kAddRegCases) {
        SCOPED_TRACE(c.Entry);
        const std::string subKey = CaseKey(scratch, c);
        TRegValue value = ReadValue(scratch.Root(), subKey, c.ValueName);
        EXPECT_EQ(value.Type, c.Type);
        EXPECT_EQ(value.Data, c.Data);
    }
    // Deleting values leaves their key; the only key made is the missing one
    // (no "'a" key from a backslash inside apostrophes).
    EXPECT_TRUE(KeyExists(scratch.Root(), scratch.SubKey()));
    EXPECT_EQ(SubKeyNames(scratch.Root(), scratch.SubKey()), std::vector<std::string>{"Gone Key"});
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

// --------------------------------------------------------------- CreateKeys

struct TFamily {
    const char* Name;
    const char* ExeName;  // the 9x family is shown to programs of this file name
    bool Win9x;
};

class CreateKeys : public ::testing::TestWithParam<TFamily> {};

TEST_P(CreateKeys, DeletesListedKeysDeepestFirstAndKeepsKeysHoldingOthersOnNT) {
    const TFamily& family = GetParam();
    std::unique_ptr<TWin9xProgram> win9x;
    if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
    TProduct product(UniqueName("App"), family.ExeName);
    TTempRegKey user, machine("HKLM");
    HKEY hkcu = user.Root(), hklm = machine.Root();
    const std::string u = user.SubKey(), m = machine.SubKey();
    WriteValue(hkcu, u + "\\A\\B", "Data", REG_SZ, Bytes("x\0"));  // values do not keep a key
    MakeKey(hkcu, u + "\\A\\B\\C");
    MakeKey(hkcu, u + "\\Kept\\Listed");
    MakeKey(hkcu, u + "\\Kept\\Unlisted");  // the user's own key below a created one
    MakeKey(hklm, m + "\\X\\Y");
    // Any order in the log, and the parent spelled in lower case: only a
    // sort without regard to case puts it before its subkeys.
    std::string lowerA = AnsiLowerCase(user.Path() + "\\A");
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog("[CreateKeys]\r\n" + user.Path() + "\\A\\B=\r\n" + lowerA + "=\r\n" + user.Path() +
                     "\\A\\B\\C=\r\n" + user.Path() + "\\Kept=\r\n" + user.Path() + "\\Missing=\r\n" +
                     user.Path() + "\\Kept\\Listed=1\r\n" + machine.Path() + "\\X\\Y=\r\n" + machine.Path() +
                     "\\X=\r\n");

    EXPECT_TRUE(UninstallSucceeds(product));

    EXPECT_FALSE(KeyExists(hkcu, u + "\\A"));
    EXPECT_FALSE(KeyExists(hkcu, u + "\\Kept\\Listed"));
    EXPECT_FALSE(KeyExists(hklm, m + "\\X"));
    // RegDeleteKeyA refuses a key with subkeys on NT; on 9x the tree goes.
    EXPECT_EQ(KeyExists(hkcu, u + "\\Kept"), !family.Win9x);
    EXPECT_EQ(KeyExists(hkcu, u + "\\Kept\\Unlisted"), !family.Win9x);
    // Parents that are not listed stay.
    EXPECT_TRUE(KeyExists(hkcu, u));
    EXPECT_TRUE(KeyExists(hklm, m));
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

INSTANTIATE_TEST_SUITE_P(Families, CreateKeys,
                         ::testing::Values(TFamily{"NT", "Uninstall.exe", false},
                                           TFamily{"Win9x", "Uninst9x.exe", true}),
                         [](const ::testing::TestParamInfo<TFamily>& info) { return std::string(info.param.Name); });

// AddReg runs before CreateKeys: a value restored in a listed key does not
// bring the key back after it was deleted.
TEST(RegistryEntries, ValuesGoBeforeTheKeysThatHeldThem) {
    TProduct product;
    TTempRegKey scratch;
    const std::string created = scratch.SubKey() + "\\Created";
    WriteValue(scratch.Root(), created, "Setting", REG_SZ, kInstalled);
    product.WriteLog("[CreateKeys]\r\n" + scratch.Path() + "\\Created=\r\n[AddReg]\r\n" + scratch.Path() +
                     "\\Created\\Setting=1,before\r\n");
    EXPECT_TRUE(UninstallSucceeds(product));
    EXPECT_FALSE(KeyExists(scratch.Root(), created));
}

// ------------------------------------------------------------------- AddIni

TEST(IniEntries, AddIniRestoresAndDeletesKeysAndRewritesTheFileClean) {
    TProduct product;
    TTempDir dir;
    const std::string ini = dir / "app.ini";
    WriteFileBytes(ini,
                   "; the installer's comment\r\n"
                   "\r\n"
                   "[Settings]\r\n"
                   "Restored = installed\r\n"
                   "Deleted=installed\r\n"
                   "Twice=installed\r\n"
                   "Quoted=installed\r\n"
                   "EmptyQuotes=installed\r\n"
                   "a line without equals\r\n"
                   "[Erase]\r\n"
                   "A=1\r\n"
                   "B=2\r\n"
                   "[Only]\r\n"
                   "Gone=1\r\n"
                   "[Lead]\r\n"
                   "x=1\r\n"
                   "=first\r\n"
                   "=second\r\n");
    const std::string created = dir / "New Folder\\new.ini";
    const std::string absent = dir / "absent.ini";
    product.WriteLog("[AddIni]\r\n" +
                     ini + ",Settings,Restored=old value\r\n" +
                     ini + ",Settings,Deleted=\r\n" +
                     ini + ",Settings,Twice=first\r\n" +
                     ini + ",Settings,Twice=second\r\n" +
                     ini + ",Settings,Quoted=\"quoted old\"\r\n" +
                     ini + ",Settings,EmptyQuotes=\"\"\r\n" +
                     ini + ",Erase,=anything\r\n" +        // an empty key with a value erases the section
                     ini + ",Only,Gone=\r\n" +             // a section left empty is not written
                     ini + ",Lead,=\r\n" +                 // an empty key without a value: the first "=" line
                     ini + ",'New, Section',NewKey=made\r\n" +
                     created + ",S,K=v\r\n" +               // writing makes the file and its folder
                     absent + ",S,K=\r\n");                 // deleting from a missing file changes nothing

    EXPECT_TRUE(UninstallSucceeds(product));

    EXPECT_EQ(ReadFileBytes(ini),
              "[Settings]\r\n"
              "Restored=old value\r\n"
              "Twice=second\r\n"
              "Quoted=quoted old\r\n"
              "\r\n"
              "[Lead]\r\n"
              "x=1\r\n"
              "=second\r\n"
              "\r\n"
              "[New, Section]\r\n"
              "NewKey=made\r\n"
              "\r\n");
    EXPECT_EQ(ReadFileBytes(created), "[S]\r\nK=v\r\n\r\n");
    EXPECT_FALSE(FileExists(absent));
}

TEST(IniEntries, FileWithoutFolderIsTheWindowsFolders) {
    TProduct product;
    TWindowsFolderFile ini;
    WriteFileBytes(ini.Path, "[S]\r\nK=installed\r\nNew=installed\r\n");
    product.WriteLog("[AddIni]\r\n" + ini.Name + ",S,K=old\r\n" + ini.Name + ",S,New=\r\n");
    EXPECT_TRUE(UninstallSucceeds(product));
    EXPECT_EQ(ReadFileBytes(ini.Path), "[S]\r\nK=old\r\n\r\n");
}

// The edited files are written back and released when the section ends, and
// the install log, dropped from the cache with them, is loaded again for the
// sections after it.
TEST(IniEntries, SectionEndReleasesEveryFileAndLaterSectionsStillRead) {
    TProduct product;
    const std::string app = product.AppDir();
    CreateDirectoryA((app + "\\Data").c_str(), nullptr);
    const std::string own = app + "\\Data\\own.ini";      // installed, so also removed by CopyFiles
    const std::string shared = product.Root() + "\\shared.ini";
    WriteFileBytes(own, "[S]\r\nK=installed\r\n");
    WriteFileBytes(shared, "[S]\r\nK=installed\r\n");
    WriteFileBytes(app + "\\app.exe", "program");
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog("[AddIni]\r\n" + own + ",S,K=old\r\n" + shared + ",S,K=old\r\n" +
                     "[CopyFiles]\r\n" + own + "=\r\n" + app + "\\app.exe=\r\n"
                     "[CreateDirs]\r\n" + app + "\\Data=\r\n");

    EXPECT_TRUE(UninstallSucceeds(product));

    EXPECT_EQ(ReadFileBytes(shared), "[S]\r\nK=old\r\n\r\n");
    // Still held open by the cache, own.ini could not have been deleted.
    EXPECT_FALSE(FileExists(own));
    EXPECT_FALSE(FileExists(app + "\\app.exe"));
    EXPECT_FALSE(FolderExists(app + "\\Data"));
    EXPECT_FALSE(FileExists(product.LogPath()));
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

// An INI file that exists but is held open by another program cannot be
// edited: the run ends with -1, the Uninstall key and everything of the later
// stages stay, and the files edited before it are written back.
TEST(IniEntries, FileHeldOpenByAnotherProgramEndsTheRunAndKeepsTheProduct) {
    TProduct product;
    const std::string app = product.AppDir();
    const std::string before = app + "\\before.ini", held = app + "\\held.ini", after = app + "\\after.ini";
    WriteFileBytes(before, "[S]\r\nK=installed\r\n");
    WriteFileBytes(held, "[S]\r\nK=installed\r\n");
    WriteFileBytes(after, "[S]\r\nK=installed\r\n");
    WriteFileBytes(app + "\\app.exe", "program");
    CreateDirectoryA((app + "\\Empty").c_str(), nullptr);
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog("[AddIni]\r\n" + before + ",S,K=old\r\n" + held + ",S,K=old\r\n" + after + ",S,K=old\r\n" +
                     "[CopyFiles]\r\n" + app + "\\app.exe=\r\n[CreateDirs]\r\n" + app + "\\Empty=\r\n");
    {
        TFileHandle holder = HoldOpen(held);
        ASSERT_TRUE(holder.Valid());
        EXPECT_EQ(product.Run("/s"), EXIT_FAILED);
    }
    EXPECT_EQ(ReadFileBytes(before), "[S]\r\nK=old\r\n\r\n");
    EXPECT_EQ(ReadFileBytes(held), "[S]\r\nK=installed\r\n");
    EXPECT_EQ(ReadFileBytes(after), "[S]\r\nK=installed\r\n");
    EXPECT_TRUE(FileExists(app + "\\app.exe"));
    EXPECT_TRUE(FolderExists(app + "\\Empty"));
    EXPECT_TRUE(FileExists(product.LogPath()));
    EXPECT_TRUE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    Sleep(1000);
    EXPECT_TRUE(FileExists(product.Exe()));  // no self-removal after a failed run
}

}  // namespace
