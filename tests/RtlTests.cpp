#include <gtest/gtest.h>

#include "TestSupport.h"
#include "zrRtl.h"

namespace {

// Counts live instances so tests can see who frees what.
struct TCounted : TObject {
    static int Live;
    TCounted() { ++Live; }
    ~TCounted() override { --Live; }
};
int TCounted::Live = 0;

}  // namespace

TEST(StringList, NamesValuesAndLookupIgnoreCase) {
    TStringList list;
    list.Add("Path=C:\\App");
    list.Add("path=second");
    list.Add("NoEquals");
    list.Add("=empty name");
    EXPECT_EQ(list.IndexOfName("PATH"), 0);  // the first line of a name counts
    EXPECT_EQ(list.Values("pAtH"), "C:\\App");
    EXPECT_EQ(list.Values("NoEquals"), "");  // a line without "=" has no name
    EXPECT_EQ(list.IndexOfName(""), 3);
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.IndexOf("noequals"), 2);
    EXPECT_EQ(list.IndexOf("NoEquals "), -1);  // whole texts are compared

    list.SetValue("PATH", "D:\\");
    EXPECT_EQ(list[0], "PATH=D:\\");
    list.SetValue("path", "");  // an empty value removes the line
    EXPECT_EQ(list[0], "path=second");
    list.SetValue("New", "1");
    EXPECT_EQ(list[list.Count() - 1], "New=1");
}

TEST(StringList, LocaleComparisonFoldsAccentedLetters) {
    TStringList list;
    list.Add("\xC4rger");  // A with diaeresis, upper case in code page 1252
    EXPECT_EQ(list.IndexOf("\xE4RGER"), 0);
    EXPECT_EQ(list.IndexOf("Arger"), -1);
}

TEST(StringList, TextJoinsWithCrLfAndSetTextSplitsEveryLineEnd) {
    TStringList list;
    list.SetText("a\r\nb\rc\nd\r\n");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], "d");
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("x\r\n\r\ny");
    EXPECT_EQ(list.Count(), 3);  // an empty line in the middle stays
}

TEST(StringList, SortedListKeepsOrderAndFindsFirstOfEqualLines) {
    TStringList list;
    list.SetSorted(true);
    for (const char* s : {"delta", "Alpha", "charlie", "bravo", "ALPHA"}) list.Add(s);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_TRUE(SameText(list[0], "alpha"));
    EXPECT_TRUE(SameText(list[1], "alpha"));
    EXPECT_EQ(list[2], "bravo");
    EXPECT_EQ(list[4], "delta");
    int index = -1;
    EXPECT_TRUE(list.Find("ALPHA", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(list.Find("beta", index));
    EXPECT_EQ(index, 2);  // where it would go
    EXPECT_EQ(list.IndexOf("CHARLIE"), 3);
}

TEST(StringList, OwnedObjectsAreFreedByDeleteClearAndDestructor) {
    {
        TStringList list(true);
        list.AddObject("a", new TCounted);
        list.AddObject("b", new TCounted);
        list.AddObject("c", new TCounted);
        list.Delete(0);
        EXPECT_EQ(TCounted::Live, 2);
        TObject* taken = list.Extract(0);  // handed over, not freed
        EXPECT_EQ(TCounted::Live, 2);
        delete taken;
        EXPECT_EQ(TCounted::Live, 1);
    }
    EXPECT_EQ(TCounted::Live, 0);

    TCounted kept;
    {
        TStringList borrowed;  // does not own: leaves its objects alone
        borrowed.AddObject("x", &kept);
        borrowed.Clear();
    }
    EXPECT_EQ(TCounted::Live, 1);
}

TEST(StringList, SortAndCustomSortCarryObjects) {
    TStringList list;
    TCounted one, two;
    list.AddObject("b", &two);
    list.AddObject("A", &one);
    list.Sort();
    EXPECT_EQ(list[0], "A");
    EXPECT_EQ(list.Objects(0), &one);
    list.CustomSort([](const TStringList& l, int a, int b) { return -AnsiCompareText(l[a], l[b]); });
    EXPECT_EQ(list[0], "b");
    EXPECT_EQ(list.Objects(0), &two);
}

TEST(Format, FillsPercentSAndPercentPercent) {
    struct Row {
        const char* templ;
        std::vector<std::string> args;
        const char* expected;
    } rows[] = {
        {"Deleting %s", {"C:\\App\\a.txt"}, "Deleting C:\\App\\a.txt"},
        {"100%% of %s", {"x"}, "100% of x"},
        {"no argument used", {"dropped"}, "no argument used"},
        {"%s%sUninstall\\%s", {"HKCU", "\\SOFTWARE\\", "App"}, "HKCU\\SOFTWARE\\Uninstall\\App"},
        {"%s", {"%s %d %n"}, "%s %d %n"},  // arguments are not scanned again
    };
    for (const Row& row : rows) EXPECT_EQ(Format(row.templ, row.args), row.expected) << row.templ;
}

TEST(Format, RejectsOtherSpecifiersAndMissingArguments) {
    for (const char* templ : {"%d", "%s and %s", "trailing %", "%n", "%x"})
        EXPECT_THROW(Format(templ, {"one"}), EConvertError) << templ;
}

TEST(Trim, DropsBlanksAndControlCharacters) {
    EXPECT_EQ(Trim(" \t\x1a" "a b\r\n "), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim(" \t "), "");
}

TEST(Handles, FileHandleIsClosedWhenItsScopeEnds) {
    TTempDir dir;
    std::string path = dir / "held.txt";
    {
        TFileHandle held(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(held.Valid());
        EXPECT_FALSE(DeleteFileA(path.c_str()));  // no sharing: in use
        TFileHandle moved(std::move(held));
        EXPECT_FALSE(held.Valid());
        EXPECT_TRUE(moved.Valid());
    }
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(Handles, InvalidValuesAreNeverClosed) {
    TFileHandle failed(CreateFileA("C:\\no such folder\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(failed.Valid());
    TFileHandle zero(nullptr);  // 0 is no file handle either
    EXPECT_FALSE(zero.Valid());
    TKeyHandle key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(key.Valid());
}
