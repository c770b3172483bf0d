// Registry routines of zrRegIni against the real registry of the test prefix.
// Values are set and checked with plain Win32 calls, so that each routine is
// seen from outside.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>

#include "TestSupport.h"
#include "zrRegIni.h"

// Runs a copy of this test program under the file name exeName, in a scratch
// folder, with a --gtest_filter; gives its exit code, or STILL_ACTIVE when it
// could not be started or did not end within a minute (it is then ended).
// IniCacheTests.cpp uses it as well.
DWORD RunThisProgramCopy(const std::string& exeName, const std::string& filter) {
    char module[1024];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) {
        ADD_FAILURE() << "GetModuleFileNameA: error " << GetLastError();
        return STILL_ACTIVE;
    }
    // A program started from outside every drive gets from Wine a module name
    // "unix\..." that only opens again with the prefix "\\?\" put back.
    std::string self = module;
    if (self.compare(0, 5, "unix\\") == 0) self = "\\\\?\\" + self;
    TTempDir dir;
    std::string copy = dir / exeName;
    if (!CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
        ADD_FAILURE() << "CopyFileA " << self << ": error " << GetLastError();
        return STILL_ACTIVE;
    }
    std::string commandLine = "\"" + copy + "\" --gtest_filter=" + filter + " --gtest_brief=1";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(),
                        &startup, &info)) {
        ADD_FAILURE() << "CreateProcessA " << copy << ": error " << GetLastError();
        return STILL_ACTIVE;
    }
    TKernelHandle process(info.hProcess);
    TKernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 10000);
        ADD_FAILURE() << copy << " did not end";
        return STILL_ACTIVE;
    }
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

namespace {

using namespace std::string_literals;

// A scratch key with raw access to its values.
class RegistryTest : public ::testing::Test {
protected:
    // Sets a value below the scratch key (subKey may be empty) with RegSetValueExA.
    void SetRaw(const std::string& subKey, const std::string& name, DWORD type, const std::string& bytes) {
        TKeyHandle key;
        std::string sub = Key.SubKey() + (subKey.empty() ? "" : "\\" + subKey);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(Key.Root(), sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), name.c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
    }
    void SetRaw(const std::string& name, DWORD type, const std::string& bytes) { SetRaw("", name, type, bytes); }

    // The value's type and bytes; type 0 when it is missing.
    struct TRawValue {
        DWORD Type = 0;
        std::string Bytes;
    };
    TRawValue GetRaw(const std::string& subKey, const std::string& name) const {
        TRawValue value;
        TKeyHandle key;
        std::string sub = Key.SubKey() + (subKey.empty() ? "" : "\\" + subKey);
        if (RegOpenKeyExA(Key.Root(), sub.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return value;
        char data[4096];
        DWORD size = sizeof data;
        if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &value.Type, reinterpret_cast<BYTE*>(data),
                             &size) == ERROR_SUCCESS)
            value.Bytes.assign(data, size);
        else
            value.Type = 0;
        return value;
    }
    TRawValue GetRaw(const std::string& name) const { return GetRaw("", name); }

    bool KeyExists(const std::string& subKey) const {
        TKeyHandle key;
        return RegOpenKeyExA(Key.Root(), (Key.SubKey() + "\\" + subKey).c_str(), 0, KEY_READ, key.Put()) ==
               ERROR_SUCCESS;
    }
    void MakeKey(const std::string& subKey) { SetRaw(subKey, "v", REG_SZ, "x\0"s); }

    std::string Path() const { return Key.Path(); }

    TTempRegKey Key;
};

// ------------------------------------------------------------ registry paths

TEST(RegistryPath, ParseRegistryPath) {
    struct {
        const char* Path;
        HKEY Root;
        const char* SubKey;
    } const rows[] = {
        {"hklm\\Software\\X\\", HKEY_LOCAL_MACHINE, "Software\\X"},
        {"HKLM", HKEY_LOCAL_MACHINE, ""},
        {"HKCU\\", HKEY_CURRENT_USER, ""},
        {"hkcr\\.txt", HKEY_CLASSES_ROOT, ".txt"},
        {"Hku\\.DEFAULT\\Software", HKEY_USERS, ".DEFAULT\\Software"},
        {"Software\\X", HKEY_CURRENT_USER, "Software\\X"},
        {"HKEY_LOCAL_MACHINE\\Software", HKEY_CURRENT_USER, "HKEY_LOCAL_MACHINE\\Software"},
        {"HKLMX\\Software", HKEY_CURRENT_USER, "HKLMX\\Software"},
        {"HKLM\\Software\\\\", HKEY_LOCAL_MACHINE, "Software\\"},  // only one trailing backslash goes
        {"", HKEY_CURRENT_USER, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Path);
        std::string subKey = "junk";
        EXPECT_EQ(row.Root, ParseRegistryPath(row.Path, subKey));
        EXPECT_EQ(row.SubKey, subKey);
    }
}

TEST_F(RegistryTest, PathWithoutRootNameIsBelowCurrentUser) {
    ASSERT_TRUE(WriteRegString(Key.SubKey(), "v", "below HKCU"));
    EXPECT_EQ("below HKCU\0"s, GetRaw("v").Bytes);
    EXPECT_EQ("below HKCU", ReadRegString("hkcu\\" + Key.SubKey() + "\\", "v", ""));
}

// ------------------------------------------------------------ text forms

// One value in its raw form and in its text form.
struct TTextFormRow {
    const char* Label;
    DWORD Type;
    std::string Bytes;
    std::string Text;
};

const TTextFormRow kTextForms[] = {
    {"sz", REG_SZ, "hello world\0"s, "hello world"},
    {"empty sz", REG_SZ, "\0"s, ""},
    {"expand sz", REG_EXPAND_SZ, "%SystemRoot%\\system32\0"s, "%SystemRoot%\\system32"},
    {"binary", REG_BINARY, "\x00\xFF"s, "00FF"},
    {"binary 0A1B", REG_BINARY, "\x0A\x1B\xab"s, "0A1BAB"},
    {"empty binary", REG_BINARY, ""s, ""},
    {"dword max", REG_DWORD, "\xFF\xFF\xFF\xFF"s, "4294967295"},
    {"dword", REG_DWORD, "\x39\x30\x00\x00"s, "12345"},
    {"dword zero", REG_DWORD, "\0\0\0\0"s, "0"},
    {"multi sz", REG_MULTI_SZ, "a\0b\0\0"s, "a\r\nb"},
    {"multi sz one", REG_MULTI_SZ, "only\0\0"s, "only"},
    {"empty multi sz", REG_MULTI_SZ, "\0"s, ""},
};

TEST_F(RegistryTest, ReadRegStringGivesTextForm) {
    for (const auto& row : kTextForms) {
        SCOPED_TRACE(row.Label);
        SetRaw(row.Label, row.Type, row.Bytes);
        EXPECT_EQ(row.Type, RegValueType(Path(), row.Label));
        EXPECT_EQ(row.Bytes.size(), RegValueSize(Path(), row.Label));
        EXPECT_EQ(row.Text, ReadRegString(Path(), row.Label, "default"));
    }
}

TEST_F(RegistryTest, WriteRegValueTextWritesRawForm) {
    for (const auto& row : kTextForms) {
        SCOPED_TRACE(row.Label);
        ASSERT_TRUE(WriteRegValueText(Path(), row.Label, row.Type, row.Text));
        TRawValue raw = GetRaw(row.Label);
        EXPECT_EQ(row.Type, raw.Type);
        EXPECT_EQ(row.Bytes, raw.Bytes);
    }
}

// Restoring a REG_EXPAND_SZ from its text keeps the type, so the reference
// stays unexpanded and is expanded by the value's readers.
TEST_F(RegistryTest, ExpandStringRestoredFromTextKeepsItsType) {
    SetRaw("Path", REG_EXPAND_SZ, "%SystemRoot%\\system32;%PATH%\0"s);
    DWORD type = RegValueType(Path(), "Path");
    std::string text = ReadRegString(Path(), "Path", "");
    ASSERT_TRUE(DeleteRegValue(Path(), "Path"));
    ASSERT_TRUE(WriteRegValueText(Path(), "Path", type, text));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), RegValueType(Path(), "Path"));
    EXPECT_EQ("%SystemRoot%\\system32;%PATH%", ReadRegString(Path(), "Path", ""));
}

TEST_F(RegistryTest, WriteRegValueTextOneWayCases) {
    const struct {
        DWORD Type;
        const char* Text;
        std::string Bytes;
    } rows[] = {
        {REG_BINARY, "0a 1B", "\x0A\x1B"s},
        {REG_BINARY, "ABC", "\xAB"s},      // an odd last digit is ignored
        {REG_BINARY, "zz12", "\x00\x12"s},  // a pair that is no hex gives 0
        {REG_BINARY, " ", ""s},
        {REG_DWORD, "junk", "\0\0\0\0"s},
        {REG_MULTI_SZ, "a\r\nb", "a\0b\0\0"s},
        {REG_MULTI_SZ, "a\nb\rc\r\n", "a\0b\0c\0\0"s},  // a final line break adds no string
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Text);
        ASSERT_TRUE(WriteRegValueText(Path(), "v", row.Type, row.Text));
        TRawValue raw = GetRaw("v");
        EXPECT_EQ(row.Type, raw.Type);
        EXPECT_EQ(row.Bytes, raw.Bytes);
    }
}

TEST_F(RegistryTest, TypesWithoutTextForm) {
    SetRaw("none", REG_NONE, "\x01\x02"s);
    SetRaw("qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s);
    for (const char* name : {"none", "qword", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ("default", ReadRegString(Path(), name, "default"));
    }
    EXPECT_EQ("default", ReadRegString(Path() + "\\missing key", "v", "default"));
    for (DWORD type : {DWORD{REG_NONE}, DWORD{REG_QWORD}, DWORD{REG_LINK}, DWORD{99}}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(WriteRegValueText(Path(), "new", type, "01"));
        EXPECT_EQ(0u, GetRaw("new").Type);
    }
}

// Strings stored without their closing zeros keep their last character.
TEST_F(RegistryTest, ReadRegStringOfStringsWithoutClosingZero) {
    SetRaw("sz", REG_SZ, "abc"s);
    SetRaw("multi", REG_MULTI_SZ, "a\0bc\0"s);
    EXPECT_EQ("abc", ReadRegString(Path(), "sz", ""));
    EXPECT_EQ("a\r\nbc", ReadRegString(Path(), "multi", ""));
}

// ------------------------------------------------------------ reading values

TEST_F(RegistryTest, ReadRegDWordTakesAnyTypeUpToFourBytes) {
    SetRaw("dword", REG_DWORD, "\x78\x56\x34\x12"s);
    SetRaw("short", REG_BINARY, "\x34\x12"s);
    SetRaw("string", REG_SZ, "ab\0"s);
    SetRaw("long", REG_BINARY, "\x01\x02\x03\x04\x05"s);
    SetRaw("one", REG_DWORD, "\x01\0\0\0"s);
    SetRaw("two", REG_DWORD, "\x02\0\0\0"s);
    EXPECT_EQ(0x12345678u, ReadRegDWord(Path(), "dword", 7));
    EXPECT_EQ(0x1234u, ReadRegDWord(Path(), "short", 7));
    EXPECT_EQ(0x6261u, ReadRegDWord(Path(), "string", 7));
    EXPECT_EQ(7u, ReadRegDWord(Path(), "long", 7));
    EXPECT_EQ(7u, ReadRegDWord(Path(), "missing", 7));
    EXPECT_EQ(7u, ReadRegDWord(Path() + "\\missing", "dword", 7));

    EXPECT_TRUE(ReadRegBool(Path(), "one", false));
    EXPECT_FALSE(ReadRegBool(Path(), "two", true));
    EXPECT_TRUE(ReadRegBool(Path(), "missing", true));
    EXPECT_FALSE(ReadRegBool(Path(), "missing", false));
}

TEST_F(RegistryTest, ReadRegBinaryHexOfAnyType) {
    SetRaw("string", REG_SZ, "ab\0"s);
    SetRaw("empty", REG_BINARY, ""s);
    EXPECT_EQ("616200", ReadRegBinaryHex(Path(), "string", "default"));
    EXPECT_EQ("", ReadRegBinaryHex(Path(), "empty", "default"));
    EXPECT_EQ("default", ReadRegBinaryHex(Path(), "missing", "default"));
}

TEST_F(RegistryTest, DefaultValueAndMissingValues) {
    SetRaw("", REG_SZ, "the default\0"s);
    EXPECT_EQ("the default", ReadRegString(Path(), "", ""));
    EXPECT_EQ(0u, RegValueType(Path(), "missing"));
    EXPECT_EQ(0u, RegValueSize(Path(), "missing"));
    EXPECT_EQ(0u, RegValueType(Path() + "\\missing", ""));
}

TEST_F(RegistryTest, ReadRegValueReportsSize) {
    SetRaw("v", REG_BINARY, "123456"s);
    char buffer[16] = {};
    DWORD size = 4;
    EXPECT_FALSE(ReadRegValue(Path(), "v", buffer, size));
    EXPECT_EQ(6u, size);
    size = sizeof buffer;
    ASSERT_TRUE(ReadRegValue(Path(), "v", buffer, size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ("123456", std::string(buffer, size));
    size = sizeof buffer;
    EXPECT_FALSE(ReadRegValue(Path(), "missing", buffer, size));
}

TEST_F(RegistryTest, ReadRegSubKeys) {
    MakeKey("One");
    MakeKey("Two\\Deeper");
    TStringList list;
    list.Add("stale");
    ReadRegSubKeys(Path(), list);
    ASSERT_EQ(2, list.Count());
    EXPECT_EQ("One", list[0]);
    EXPECT_EQ("Two", list[1]);
    ReadRegSubKeys(Path() + "\\Missing", list);
    EXPECT_EQ(0, list.Count());
}

// ------------------------------------------------------------ writing values

TEST_F(RegistryTest, WriteRoutinesWriteTypeAndBytes) {
    TStringList strings;
    strings.Add("first");
    strings.Add("second");
    TStringList none;
    ASSERT_TRUE(WriteRegString(Path(), "sz", "text"));
    ASSERT_TRUE(WriteRegDWord(Path(), "dword", 0xFFFFFFFFu));
    ASSERT_TRUE(WriteRegBinary(Path(), "binary", "\x01\x00\x02", 3));
    ASSERT_TRUE(WriteRegBinaryHex(Path(), "hex", "01 02 ff"));
    ASSERT_TRUE(WriteRegMultiString(Path(), "multi", strings));
    ASSERT_TRUE(WriteRegMultiString(Path(), "no strings", none));
    ASSERT_TRUE(WriteRegValue(Path(), "qword", REG_QWORD, "12345678", 8));
    const struct {
        const char* Name;
        DWORD Type;
        std::string Bytes;
    } rows[] = {
        {"sz", REG_SZ, "text\0"s},
        {"dword", REG_DWORD, "\xFF\xFF\xFF\xFF"s},
        {"binary", REG_BINARY, "\x01\x00\x02"s},
        {"hex", REG_BINARY, "\x01\x02\xFF"s},
        {"multi", REG_MULTI_SZ, "first\0second\0\0"s},
        {"no strings", REG_MULTI_SZ, "\0"s},
        {"qword", REG_QWORD, "12345678"s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TRawValue raw = GetRaw(row.Name);
        EXPECT_EQ(row.Type, raw.Type);
        EXPECT_EQ(row.Bytes, raw.Bytes);
    }
}

TEST_F(RegistryTest, WriteRegStringCreatesMissingKeys) {
    ASSERT_FALSE(KeyExists("A"));
    ASSERT_TRUE(WriteRegString(Path() + "\\A\\B\\C\\", "v", "deep"));
    EXPECT_EQ("deep\0"s, GetRaw("A\\B\\C", "v").Bytes);
}

TEST_F(RegistryTest, DeleteRegValue) {
    SetRaw("v", REG_SZ, "x\0"s);
    EXPECT_TRUE(DeleteRegValue(Path(), "v"));
    EXPECT_EQ(0u, GetRaw("v").Type);
    EXPECT_FALSE(DeleteRegValue(Path(), "v"));
    EXPECT_FALSE(DeleteRegValue(Path() + "\\missing", "v"));
}

// ------------------------------------------------------------ deleting keys

bool RunsOnNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

TEST_F(RegistryTest, DeleteRegKeyOnNtFamily) {
    if (!RunsOnNtFamily()) GTEST_SKIP() << "runs on the NT family only";
    MakeKey("Tree\\A\\A1");
    MakeKey("Tree\\B");
    MakeKey("Empty");
    // RegDeleteKeyA refuses a key that still has subkeys.
    EXPECT_FALSE(DeleteRegKey(Path() + "\\Tree", false));
    EXPECT_TRUE(KeyExists("Tree\\A\\A1"));
    EXPECT_TRUE(DeleteRegKey(Path() + "\\Empty\\", false));  // values do not matter
    EXPECT_FALSE(KeyExists("Empty"));
    EXPECT_TRUE(DeleteRegKey(Path() + "\\Tree", true));
    EXPECT_FALSE(KeyExists("Tree"));
    EXPECT_FALSE(DeleteRegKey(Path() + "\\Tree", true));
}

// A path that names a root key, or no key name at all, deletes nothing.
TEST_F(RegistryTest, DeleteRegKeyRefusesRootsAndEmptyNames) {
    MakeKey("Kept\\Child");
    for (std::string path : {"HKCU"s, "hkcu\\"s, Path() + "\\Kept\\\\"s}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(DeleteRegKey(path, true));
        EXPECT_TRUE(KeyExists("Kept\\Child"));
    }
}

// The 9x family: Wine takes a program for a 9x one by its file name (value
// Version = "win98" under HKCU\Software\Wine\AppDefaults\<file name>). A copy
// of this program runs under such a name, with a filter on the test below.
const char kFamily9xKeyVariable[] = "REGINI_FAMILY9X_KEY";

TEST(RegistryFamily9x, DeleteRegKeyRemovesTree) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS)
        GTEST_SKIP() << "runs on the 9x family only (started by DeleteRegKeyOn9xFamily)";
    char path[1024];
    DWORD length = GetEnvironmentVariableA(kFamily9xKeyVariable, path, sizeof path);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof path);
    // RegDeleteKeyA deletes the whole tree on the 9x family.
    EXPECT_TRUE(DeleteRegKey(std::string(path) + "\\Flat", false));
    EXPECT_TRUE(DeleteRegKey(std::string(path) + "\\Deep", true));
}

// Removes the AppDefaults key of one program file name.
class TAppDefaults {
public:
    explicit TAppDefaults(const std::string& exeName) : SubKey("Software\\Wine\\AppDefaults\\" + exeName) {}
    ~TAppDefaults() { SHDeleteKeyA(HKEY_CURRENT_USER, SubKey.c_str()); }
    TAppDefaults(const TAppDefaults&) = delete;
    TAppDefaults& operator=(const TAppDefaults&) = delete;
    const std::string SubKey;
};

TEST_F(RegistryTest, DeleteRegKeyOn9xFamily) {
    MakeKey("Flat\\A\\A1");
    MakeKey("Deep\\A\\A1");
    MakeKey("Deep\\B");

    std::string exeName = UniqueName("regini9x") + ".exe";
    TAppDefaults appDefaults(exeName);
    {
        TKeyHandle key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.SubKey.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "Version", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>("win98"), 6));
    }
    ASSERT_TRUE(SetEnvironmentVariableA(kFamily9xKeyVariable, Path().c_str()));
    DWORD exitCode = RunThisProgramCopy(exeName, "RegistryFamily9x.*");
    SetEnvironmentVariableA(kFamily9xKeyVariable, nullptr);

    EXPECT_EQ(0u, exitCode);
    // Checked here as well: a copy that skipped its test deletes nothing.
    EXPECT_FALSE(KeyExists("Flat"));
    EXPECT_FALSE(KeyExists("Deep"));
}

}  // namespace
