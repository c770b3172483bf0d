// The real Uninstall.exe taking back what an installer added to environment
// variables: registry values of both scopes on the NT family, with one
// broadcast of the change, and SET lines of c:\autoexec.bat on the 9x
// family, with a restart to follow.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "zrRtl.h"

namespace {

const char kSystemKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kUserKey[] = "Environment";

HKEY RootOf(bool systemWide) { return systemWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const char* SubKeyOf(bool systemWide) { return systemWide ? kSystemKey : kUserKey; }

// A stored environment value: its type (REG_NONE when it does not exist)
// and its text.
struct TStored {
    DWORD Type;
    std::string Text;
    bool operator==(const TStored& other) const {
        return Type == other.Type && (Type == REG_NONE || Text == other.Text);
    }
};
const TStored kMissing{REG_NONE, ""};
TStored Sz(const std::string& text) { return {REG_SZ, text}; }
TStored ExpandSz(const std::string& text) { return {REG_EXPAND_SZ, text}; }

std::ostream& operator<<(std::ostream& out, const TStored& value) {
    if (value.Type == REG_NONE) return out << "(missing)";
    return out << (value.Type == REG_EXPAND_SZ ? "REG_EXPAND_SZ " : value.Type == REG_SZ ? "REG_SZ " : "type ")
               << "\"" << value.Text << "\"";
}

TStored ReadStored(bool systemWide, const std::string& name) {
    TKeyHandle key;
    if (RegOpenKeyExA(RootOf(systemWide), SubKeyOf(systemWide), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return kMissing;
    char buffer[1024] = {};
    DWORD type = REG_NONE, size = sizeof buffer - 1;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return kMissing;
    return {type, buffer};
}

void WriteStored(bool systemWide, const std::string& name, const TStored& value) {
    TKeyHandle key;
    ASSERT_EQ(RegCreateKeyA(RootOf(systemWide), SubKeyOf(systemWide), key.Put()), ERROR_SUCCESS);
    if (value.Type == REG_NONE) {
        RegDeleteValueA(key.Get(), name.c_str());
        return;
    }
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(value.Text.c_str()),
                             static_cast<DWORD>(value.Text.size() + 1)),
              ERROR_SUCCESS);
}

// Scratch variable names, removed from both environment keys and from this
// program's environment when the object goes.
class TScratchVariables {
public:
    std::string Add() {
        Names.push_back(UniqueName("EnvScn"));
        return Names.back();
    }
    ~TScratchVariables() {
        for (const std::string& name : Names) {
            for (bool systemWide : {false, true}) WriteStored(systemWide, name, kMissing);
            SetEnvironmentVariableA(name.c_str(), nullptr);
        }
    }
private:
    std::vector<std::string> Names;
};

}  // namespace

// ------------------------------------------------------------- NT family

// One run whose log holds one entry per row; each row starts from its own
// values in both scopes and checks both afterwards.
TEST(EnvVarsUninstall, TakesBackTheAddedPartsInTheScopeOfEachEntry) {
    struct TRow {
        const char* Name;
        TStored Machine, User;  // before the run
        const char* Entry;      // the value of the log line; "%s" is the variable name
        TStored MachineAfter, UserAfter;
    } const rows[] = {
        {"user scope, added parts in other letter case", Sz("C:\\Keep;C:\\App\\Bin;C:\\Other"),
         Sz("C:\\Keep;C:\\App\\Bin;C:\\Other"), "0,c:\\app\\bin;C:\\App\\Lib", Sz("C:\\Keep;C:\\App\\Bin;C:\\Other"),
         Sz("C:\\Keep;C:\\Other")},
        {"machine scope, REG_EXPAND_SZ kept", ExpandSz("%SystemRoot%\\system32;C:\\App\\Bin;%SystemRoot%"),
         Sz("C:\\App\\Bin"), "1,C:\\APP\\BIN", ExpandSz("%SystemRoot%\\system32;%SystemRoot%"), Sz("C:\\App\\Bin")},
        {"user scope, REG_EXPAND_SZ kept", kMissing, ExpandSz("%USERPROFILE%\\bin;C:\\App"), "0,C:\\App", kMissing,
         ExpandSz("%USERPROFILE%\\bin")},
        {"written back normalized though nothing added was in it", kMissing, Sz(" C:\\A ;;C:\\B;c:\\a;"),
         "0,C:\\NotThere", kMissing, Sz("C:\\A;C:\\B")},
        {"every part was added: deleted", Sz("C:\\App"), Sz(" C:\\App;c:\\app\\bin "), "0,C:\\App\\Bin;C:\\App",
         Sz("C:\\App"), kMissing},
        {"no list: deleted whatever it holds", Sz("C:\\Mine"), Sz("C:\\Mine"), "0", Sz("C:\\Mine"), kMissing},
        {"value begins with a comma: no list, deleted", kMissing, Sz("C:\\App;C:\\Mine"), ",C:\\App", kMissing,
         kMissing},
        {"scope other than 1 is the user's", Sz("X;C:\\App"), Sz("Y;C:\\App"), "2,C:\\App", Sz("X;C:\\App"), Sz("Y")},
        {"machine scope, no list", Sz("C:\\App"), Sz("U"), "1,", kMissing, Sz("U")},
        {"missing variable stays missing", kMissing, kMissing, "1,C:\\App", kMissing, kMissing},
        {"third word ignored", kMissing, Sz("C:\\A;C:\\B"), "0,C:\\A,C:\\B", kMissing, Sz("C:\\B")},
    };
    TScratchVariables variables;
    std::vector<std::string> names;
    std::string section = "[EnvVars]\r\n";
    for (const TRow& row : rows) {
        names.push_back(variables.Add());
        WriteStored(true, names.back(), row.Machine);
        WriteStored(false, names.back(), row.User);
        section += names.back() + "=" + row.Entry + "\r\n";
    }
    TProduct product;
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog(section);

    EXPECT_EQ(product.Run("/s"), 0u);
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(rows[i].Name);
        EXPECT_EQ(ReadStored(true, names[i]), rows[i].MachineAfter);
        EXPECT_EQ(ReadStored(false, names[i]), rows[i].UserAfter);
    }
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

// The running programs learn of the change once per run, after the last
// entry, and not at all when the section is empty or missing.
TEST(EnvVarsUninstall, BroadcastsTheChangeOnceAfterTheSection) {
    TBroadcastCounter counter(WM_SETTINGCHANGE, "Environment");
    if (!counter.Ready()) GTEST_SKIP() << "no top-level window can be made here (no display)";
    struct TRow {
        const char* Name;
        int Entries;
        bool Section;
        int Broadcasts;
    } const rows[] = {
        {"three entries", 3, true, 1},
        {"empty section", 0, true, 0},
        {"no section", 0, false, 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TScratchVariables variables;
        std::string section = row.Section ? "[EnvVars]\r\n" : "";
        for (int i = 0; i < row.Entries; ++i) {
            std::string name = variables.Add();
            WriteStored(false, name, Sz("C:\\App;C:\\Keep"));
            section += name + "=0,C:\\App\r\n";
        }
        TProduct product;
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog(section);
        counter.Reset();
        EXPECT_EQ(RunAndWaitExit("\"" + product.Exe() + "\" /s", product.Root()), 0u);
        EXPECT_EQ(counter.Count(), row.Broadcasts);
    }
}

// -------------------------------------------------------------- 9x family

// c:\autoexec.bat and wininit.ini are system-wide files: they are saved and
// put back, and this test program runs alone (RUN_SERIAL). The variables'
// present values come from the uninstaller's own environment, which it
// inherits from this program; the SET lines of autoexec.bat are rewritten.
// Since they take effect only at the next start, the uninstaller asks for a
// restart and leaves itself to wininit.ini instead of its self-deleting
// batch file.
TEST(EnvVarsUninstall9x, RewritesAutoexecAndAsksForARestart) {
    const std::string autoexec = "c:\\autoexec.bat";
    const std::string wininit = WindowsFolder() + "\\wininit.ini";
    TSavedFile savedAutoexec(autoexec), savedWininit(wininit), savedWininitBak(WindowsFolder() + "\\wininit.bak");
    const char exeName[] = "UninstEnv9x.exe";
    TWin9xProgram win9x(exeName);
    TStandInWineboot wineboot;
    ASSERT_TRUE(wineboot.Ready()) << "the stand-in wineboot did not answer";

    // Held: another program has autoexec.bat open, allowing its deletion:
    // DeleteFileA would leave the name taken until that program closes it.
    struct TRow {
        const char* Name;
        bool Autoexec;  // c:\autoexec.bat exists before the run
        bool Held;
    } const rows[] = {{"with autoexec.bat", true, false},
                      {"autoexec.bat held open by another program", true, true},
                      {"without autoexec.bat", false, false}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TScratchVariables variables;
        std::string path = variables.Add(), home = variables.Add(), tools = variables.Add(), same = variables.Add();
        SetEnvironmentVariableA(path.c_str(), "C:\\WINDOWS;c:\\app\\bin");
        SetEnvironmentVariableA(home.c_str(), "C:\\App");
        SetEnvironmentVariableA(tools.c_str(), " C:\\Tools ;C:\\Tools");
        SetEnvironmentVariableA(same.c_str(), "C:\\Same");
        DeleteFileA(autoexec.c_str());
        DeleteFileA(wininit.c_str());
        if (row.Autoexec)
            WriteFileBytes(autoexec, "@echo off\r\n  SET " + path + "=C:\\WINDOWS;c:\\app\\bin\r\nset " + home +
                                         "=C:\\App\r\nSET " + same + "=C:\\Same\r\nprompt $p$g\r\n");

        TProduct product(UniqueName("App"), exeName);
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog("[EnvVars]\r\n" + path + "=0,C:\\App\\Bin\r\n" + home + "=1\r\n" + tools +
                         "=1,C:\\NotThere\r\n" + same + "=0,C:\\Other\r\n");

        TFileHandle held;
        const DWORD allSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        if (row.Held)
            held.Reset(CreateFileA(autoexec.c_str(), GENERIC_READ, allSharing, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ(product.Run("/s"), 0u);
        held.Reset();
        if (row.Autoexec) {
            EXPECT_EQ(ReadFileBytes(autoexec), "@echo off\r\nSET " + path + "=C:\\WINDOWS\r\nSET " + same +
                                                   "=C:\\Same\r\nprompt $p$g\r\nSET " + tools + "=C:\\Tools\r\n");
        } else {
            EXPECT_FALSE(FileExists(autoexec));
        }
        for (const std::string& name : {path, home, tools, same})
            for (bool systemWide : {false, true})
                EXPECT_EQ(ReadStored(systemWide, name), kMissing) << name << " in the registry";
        EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
        std::string requests = wineboot.TakeRequests(10000);
        EXPECT_NE(requests.find("--end-session"), std::string::npos) << "no restart asked for: " << requests;
        std::string scheduled = ReadFileBytes(wininit);
        EXPECT_NE(scheduled.find("NUL=" + ShortPath(product.Exe())), std::string::npos) << scheduled;
    }
}
