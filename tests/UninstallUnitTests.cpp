// Routines of the program itself, called directly.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "TestSupport.h"
#include "Uninstall.h"
#include "zrNTSecurity.h"

TEST(UninstallRoutines, ProgressRoundsHalfToEven) {
    struct Row {
        int done, total, position;
    } rows[] = {{1, 3, 33}, {1, 8, 12}, {3, 8, 38}, {8, 8, 100}, {0, 5, 0}, {1, 40, 2}, {3, 40, 8}, {1, 200, 0}};
    for (const Row& r : rows) EXPECT_EQ(ProgressPosition(r.done, r.total), r.position) << r.done << "/" << r.total;
}

TEST(UninstallRoutines, EntryKeyIsTheTextBeforeTheLastEquals) {
    EXPECT_EQ(EntryKey("C:\\App\\a=b.txt=1"), "C:\\App\\a=b.txt");
    EXPECT_EQ(EntryKey("C:\\App\\a.txt="), "C:\\App\\a.txt");
    EXPECT_EQ(EntryKey("no equals"), "no equals");
}

TEST(UninstallRoutines, FileExtensionIsTheTextFromTheLastDotOfTheName) {
    struct Row {
        const char *path, *lnk;
    } rows[] = {{"C:\\Desk\\App.lnk", "C:\\Desk\\App.lnk"},
                {"C:\\Menu\\App", "C:\\Menu\\App.lnk"},
                {"C:\\Menu\\App 2.0", "C:\\Menu\\App 2.lnk"},
                {"C:\\My.Folder\\App", "C:\\My.Folder\\App.lnk"},
                {"C:App", "C:App.lnk"}};
    for (const Row& r : rows) EXPECT_EQ(ChangeFileExt(r.path, ".lnk"), r.lnk) << r.path;
    EXPECT_EQ(ExtractFileExt("C:\\A\\Guide.HLP"), ".HLP");
    EXPECT_EQ(ExtractFileExt("C:\\A.B\\Guide"), "");
}

TEST(UninstallRoutines, FlagFromTextIsTrueOnlyForALeadingOne) {
    for (const char* yes : {"1", "10", "1abc"}) EXPECT_TRUE(FlagFromText(yes)) << yes;
    for (const char* no : {"", "0", " 1", "yes", "true"}) EXPECT_FALSE(FlagFromText(no)) << no;
}

TEST(UninstallRoutines, ProtectedFoldersAreRefused) {
    char desktop[MAX_PATH] = "", documents[MAX_PATH] = "", programs[MAX_PATH] = "", profile[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE);
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE);
    SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE);
    std::string profileRoot = profile;
    profileRoot = profileRoot.substr(0, profileRoot.find_last_of('\\'));
    for (std::string refused :
         {std::string(), std::string("\\"), std::string("."), std::string(".."), std::string("Data"),
          std::string("App\\Data"), std::string("C:"), std::string("C:\\"), std::string("c:\\."),
          std::string("C:Data"), std::string("\\\\server\\share"), std::string("\\\\server\\share\\"),
          std::string("\\\\?\\C:\\App"), std::string("C:\\windows"), std::string("C:\\WINDOWS\\system32\\"),
          std::string("C:\\App\\..\\windows"), std::string(desktop), std::string(documents),
          std::string(programs), std::string(profile), profileRoot, std::string(profile) + "\\AppData"})
        EXPECT_TRUE(IsProtectedFolder(refused)) << "[" << refused << "]";
    for (std::string allowed : {std::string("C:\\App"), std::string("C:\\App\\Data\\"),
                                std::string(programs) + "\\Product", std::string(documents) + "\\Product Data",
                                std::string("\\\\server\\share\\App")})
        EXPECT_FALSE(IsProtectedFolder(allowed)) << "[" << allowed << "]";
}

TEST(UninstallRoutines, LogTextsTurnBarsIntoCarriageReturnsAndFillTemplates) {
    TTempDir dir;
    std::string log = dir / "install.log";
    WriteFileBytes(log,
                   "[Strings]\r\nAppID=X\r\n1=Line one||Line two\r\n2=|||\r\n3=\r\n10=Deleting %s\r\n"
                   "11=100%% of %s\r\n12=no argument\r\n13=%s and %s\r\n14=%d items\r\n"
                   "[Display]\r\nDialogFont=\r\n");
    UninstallState.LogPath = log;
    EXPECT_EQ(MessageText(1), "Line one\rLine two");
    EXPECT_EQ(MessageText(2), "\r|");
    EXPECT_EQ(MessageText(3), "");
    EXPECT_EQ(MessageText(4), "");  // no such key: the empty text
    EXPECT_EQ(ReadLogText("Display", "DialogFont", "def"), "");  // present but empty
    EXPECT_EQ(ReadLogTextDef("Display", "DialogFont", "MS Sans Serif,8"), "MS Sans Serif,8");
    EXPECT_EQ(ReadLogText("Display", "Missing", "a||b"), "a\rb");
    struct Row {
        int n;
        const char* expected;
    } rows[] = {{10, "Deleting C:\\App\\a.txt"}, {11, "100% of C:\\App\\a.txt"}, {12, "no argument"},
                {13, "%s and %s"}, {14, "%d items"}};  // templates it cannot fill stand as they are
    for (const Row& r : rows) EXPECT_EQ(MessageFormat(r.n, "C:\\App\\a.txt"), r.expected) << r.n;
    UninstallState.LogPath.clear();
}

TEST(AccountRights, AdministratorsSidAndMembership) {
    LoadAdvApi();  // as at program start
    PSID admins = WellKnownSid(35659781);
    ASSERT_NE(admins, nullptr);
    SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(admins);
    EXPECT_EQ(authority->Value[5], 5);  // S-1-5-...
    ASSERT_EQ(*GetSidSubAuthorityCount(admins), 2);
    EXPECT_EQ(*GetSidSubAuthority(admins, 0), 32u);
    EXPECT_EQ(*GetSidSubAuthority(admins, 1), 544u);
    FreeSid(admins);

    PSID world = WellKnownSid(0x0101);  // S-1-1-0: one sub-authority when bits 16-31 are 0
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(*GetSidSubAuthorityCount(world), 1);
    FreeSid(world);

    EXPECT_TRUE(IsAdmin());  // Wine runs programs as a member of the Administrators group
}
