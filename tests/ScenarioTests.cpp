// The real Uninstall.exe run on staged products, as a user's machine has them.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "zrRtl.h"

namespace {

const DWORD EXIT_FAILED = 0xFFFFFFFF;  // the program's -1
const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

void MakeFolders(const std::string& path) { SHCreateDirectoryExA(nullptr, path.c_str(), nullptr); }

}  // namespace

TEST(SilentUninstall, RemovesWhatTheLogListsThenTheLogTheKeyAndItself) {
    TProduct product;
    std::string app = product.AppDir(), root = product.Root();
    MakeFolders(app + "\\Data\\Cache");
    MakeFolders(app + "\\Docs");
    MakeFolders(root + "\\Menu");
    WriteFileBytes(app + "\\app.exe", "program");
    WriteFileBytes(app + "\\readme.txt", "text");
    SetFileAttributesA((app + "\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(app + "\\hidden.dat", "x");
    SetFileAttributesA((app + "\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileBytes(app + "\\Docs\\Guide.HLP", "help");
    WriteFileBytes(app + "\\Docs\\Guide.gid", "index");
    WriteFileBytes(app + "\\Docs\\Guide.fts", "search");
    WriteFileBytes(app + "\\Data\\a.log", "1");
    WriteFileBytes(app + "\\Data\\b.log", "2");
    SetFileAttributesA((app + "\\Data\\b.log").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(app + "\\Data\\keep.cfg", "3");
    WriteFileBytes(app + "\\Data\\Cache\\c.log", "4");  // below the mask's folder: stays
    WriteFileBytes(app + "\\Data\\Cache\\blob", "5");
    WriteFileBytes(root + "\\Menu\\App.lnk", "link");
    WriteFileBytes(root + "\\Menu\\App.pif", "pif");
    WriteFileBytes(root + "\\Menu\\Tool 2.0.lnk", "dotted");  // ".0" is taken as its extension
    WriteFileBytes(root + "\\Menu\\Tool 2.lnk", "link");
    std::string settings = root + "\\settings.iss";
    WriteFileBytes(settings, "silent");
    product.RegisterUninstallKey(HKEY_CURRENT_USER, settings);

    product.WriteLog(
        "[CreateDirs]\r\n" + app + "\\Docs=\r\n" + app + "=\r\n" + app + "\\Data=\r\n" + root + "\\Menu=\r\n"
        "[CopyFiles]\r\n" + app + "\\app.exe=1\r\n" + app + "\\readme.txt=1\r\n" + app + "\\hidden.dat=1\r\n" +
        app + "\\Docs\\Guide.HLP=1\r\n" + app + "\\missing.dll=1\r\n"
        "[DataFiles]\r\n" + app + "\\Data\\*.log=\r\n"
        "[DataFolders]\r\n" + app + "\\Data\\Cache=\r\n"
        "[Shortcuts]\r\n" + root + "\\Menu\\App.lnk=\r\n" + root + "\\Menu\\Tool 2.0=\r\n");

    EXPECT_EQ(product.Run("/s"), 0u);

    for (const char* gone : {"\\app.exe", "\\readme.txt", "\\hidden.dat", "\\Docs\\Guide.HLP", "\\Docs\\Guide.gid",
                             "\\Docs\\Guide.fts", "\\Data\\a.log", "\\Data\\b.log", "\\install.log"})
        EXPECT_FALSE(FileExists(app + gone)) << gone;
    EXPECT_FALSE(FolderExists(app + "\\Data\\Cache"));
    EXPECT_FALSE(FolderExists(app + "\\Docs"));
    EXPECT_TRUE(FileExists(app + "\\Data\\keep.cfg"));  // not listed: stays, and so does its folder
    EXPECT_FALSE(FileExists(root + "\\Menu\\App.lnk"));
    EXPECT_FALSE(FileExists(root + "\\Menu\\App.pif"));
    EXPECT_FALSE(FileExists(root + "\\Menu\\Tool 2.lnk"));
    EXPECT_TRUE(FileExists(root + "\\Menu\\Tool 2.0.lnk"));
    EXPECT_TRUE(FolderExists(root + "\\Menu"));  // still holds "Tool 2.0.lnk"
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    EXPECT_FALSE(FileExists(settings));
    // The batch file removes the program once it has ended; its folder stays
    // because the user's keep.cfg is still inside.
    EXPECT_TRUE(WaitUntilGone(product.Exe()));
    EXPECT_TRUE(FolderExists(app));
}

TEST(SilentUninstall, BatchFileRemovesTheProgramAndItsEmptyFolder) {
    TProduct product;
    product.RegisterUninstallKey(HKEY_LOCAL_MACHINE);
    product.WriteLog("");  // only [Strings] with the AppID: a valid log that undoes nothing
    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(WaitUntilGone(product.AppDir()));
    // Nothing of the batch file is left beside the folder.
    WIN32_FIND_DATAA data;
    TFindHandle find(FindFirstFileA((product.Root() + "\\*.bat").c_str(), &data));
    EXPECT_FALSE(find.Valid());
}

TEST(SilentUninstall, HkcuKeyWinsOverHklmWhenItHasADisplayName) {
    TProduct product;
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.RegisterUninstallKey(HKEY_LOCAL_MACHINE);
    product.WriteLog("");
    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    EXPECT_TRUE(product.UninstallKeyExists(HKEY_LOCAL_MACHINE));
}

TEST(SilentUninstall, WithoutALogEndsWithMinusOneAndTouchesNothing) {
    TProduct product;
    WriteFileBytes(product.AppDir() + "\\install.log", "[Strings]\r\nAppID=\r\n[CopyFiles]\r\n" +
                                                           product.AppDir() + "\\keep.txt=\r\n");
    WriteFileBytes(product.AppDir() + "\\keep.txt", "x");
    for (const char* args : {"/s", "-S", ""}) {
        EXPECT_EQ(product.Run(args), EXIT_FAILED) << args;
        EXPECT_TRUE(FileExists(product.AppDir() + "\\keep.txt"));
        EXPECT_TRUE(FileExists(product.Exe()));
    }
}

TEST(SilentUninstall, LogNamedOnTheCommandLineIsFoundBesideTheProgram) {
    TProduct product;
    std::string app = product.AppDir();
    MakeFolders(app + "\\logs");
    WriteFileBytes(app + "\\victim.txt", "x");
    WriteFileBytes(app + "\\other.txt", "y");
    // An argument whose AppID is empty is passed over; a relative one is
    // taken against the program's folder, whatever the current folder.
    WriteFileBytes(app + "\\logs\\empty.log", "[Strings]\r\nAppID=\r\n[CopyFiles]\r\n" + app + "\\other.txt=\r\n");
    WriteFileBytes(app + "\\logs\\real.log",
                   "[Strings]\r\nAppID=" + product.AppId() + "\r\n[CopyFiles]\r\n" + app + "\\victim.txt=\r\n");
    product.WriteLog("[CopyFiles]\r\n" + app + "\\other.txt=\r\n");  // install.log beside: not used
    DWORD code = RunAndWaitExit("\"" + product.Exe() + "\" logs\\empty.log /s logs\\real.log", "C:\\");
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(FileExists(app + "\\victim.txt"));
    EXPECT_TRUE(FileExists(app + "\\other.txt"));
    EXPECT_FALSE(FileExists(app + "\\logs\\real.log"));
}

TEST(SilentUninstall, InteractiveStartEndsAsACancelledWizard) {
    TProduct product;
    WriteFileBytes(product.AppDir() + "\\file.txt", "x");
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    product.WriteLog("[CopyFiles]\r\n" + product.AppDir() + "\\file.txt=\r\n");
    EXPECT_EQ(product.Run(""), EXIT_FAILED);
    EXPECT_TRUE(FileExists(product.AppDir() + "\\file.txt"));
    EXPECT_TRUE(FileExists(product.LogPath()));
    EXPECT_TRUE(product.UninstallKeyExists(HKEY_CURRENT_USER));
}

TEST(SilentUninstall, SharedCounterAboveOneKeepsTheUninstaller) {
    TProduct product;
    product.WriteLog("");
    std::string name = product.Exe();
    TKeyHandle key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSharedDllsKey, key.Put()), ERROR_SUCCESS);
    DWORD two = 2;
    RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);

    EXPECT_EQ(product.Run("/s"), 0u);
    DWORD count = 0, size = sizeof count;
    EXPECT_EQ(RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 1u);
    Sleep(2000);
    EXPECT_TRUE(FileExists(name));

    // The second product's run finds the counter at 1: the value and the file go.
    product.WriteLog("");
    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_NE(RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(WaitUntilGone(name));
}

TEST(SilentUninstall, LogDemandingAdministratorRightsRunsForAnAdministrator) {
    TProduct product;
    WriteFileBytes(product.AppDir() + "\\file.txt", "x");
    product.WriteLog("AdminRights=1\r\n[CopyFiles]\r\n" + product.AppDir() + "\\file.txt=\r\n");
    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_FALSE(FileExists(product.AppDir() + "\\file.txt"));
}

// An AppID of a lone backslash would make the product's Uninstall key the
// Uninstall key of every product: that key is never deleted.
TEST(SilentUninstall, AppIdThatNamesNoKeyOfItsOwnDeletesNoUninstallKey) {
    TProduct product;
    TProduct neighbour;
    neighbour.RegisterUninstallKey(HKEY_CURRENT_USER);
    WriteFileBytes(product.LogPath(), "[Strings]\r\nAppID=\\\r\n");
    EXPECT_EQ(product.Run("/s"), 0u);
    EXPECT_TRUE(neighbour.UninstallKeyExists(HKEY_CURRENT_USER));
}
