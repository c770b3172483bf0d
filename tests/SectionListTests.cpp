#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zrIniFile.h"

namespace {

using TNames = std::vector<std::string>;

// A line list that counts how many of its kind are alive, to see that the
// section list frees the lists it drops.
class TCountedLines : public TStringList {
public:
    TCountedLines() { ++Alive; }
    ~TCountedLines() override { --Alive; }
    static int Alive;
};
int TCountedLines::Alive = 0;

// Sections named as given, each holding one line "n=<its index>" so that a
// survivor shows whose lines it carries.
void Fill(TSectionList& list, const TNames& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        auto* lines = new TCountedLines;
        lines->Add("n=" + std::to_string(i));
        list.AddObject(names[i], lines);
    }
}

// "name:n" per entry, e.g. "CopyFiles:0 AddReg:1".
std::string Describe(const TSectionList& list) {
    std::string r;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0) r += ' ';
        r += list[i] + ':' + list.Lines(i)->ValueFromIndex(0);
    }
    return r;
}

bool LocaleSame(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace

TEST(SectionList, IndexOfStartsAtLastFoundAndWrapsAround) {
    // Names repeat on purpose: which of two equal entries is found shows
    // where the search started and in which order it went.
    const TNames five = {"a", "B", "a", "C", "D"};
    struct TRow {
        const char* What;
        TNames Names;
        int LastFound;
        std::string Name;
        int Index;
        int LastFoundAfter;
    };
    const TRow rows[] = {
        {"empty list", {}, 0, "a", -1, 0},
        {"from 3 the search wraps to 0 before 2", five, 3, "a", 0, 0},
        {"from 1 it finds 2 first", five, 1, "A", 2, 2},
        {"from 3 it reaches 1 after 3, 4, 0", five, 3, "b", 1, 1},
        {"the entry at LastFound itself", five, 2, "a", 2, 2},
        {"LastFound past the end counts as 0", five, 9, "d", 4, 4},
        {"negative LastFound counts as 0", five, -4, "a", 0, 0},
        {"missing name leaves LastFound", five, 3, "E", -1, 3},
        {"a trailing blank is part of the name", {"S", "T"}, 0, "S ", -1, 0},
        {"the empty name of a header []", {"x", ""}, 0, "", 1, 1},
        {"case of a non-ASCII letter ignored", {"x", "\xC4pfel"}, 0, "\xE4PFEL", 1, 1},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TSectionList list;
        Fill(list, row.Names);
        list.LastFound = row.LastFound;
        EXPECT_EQ(row.Index, list.IndexOf(row.Name));
        EXPECT_EQ(row.LastFoundAfter, list.LastFound);
    }
}

TEST(SectionList, RemoveDuplicatesKeepsTheFirstOfEachNameWithItsOwnLines) {
    TNames many;
    for (int i = 0; i < 40; ++i) many.push_back("S" + std::to_string(i % 7));
    struct TRow {
        const char* What;
        TNames Names;
        bool Removed;
        std::string After;
    };
    const TRow rows[] = {
        {"empty list", {}, false, ""},
        {"one section", {"A"}, false, "A:0"},
        {"no duplicates", {"A", "B", "C"}, false, "A:0 B:1 C:2"},
        {"case variants further down go",
         {"CopyFiles", "AddReg", "copyfiles", "COPYFILES"},
         true,
         "CopyFiles:0 AddReg:1"},
        {"A a A: the first survives whatever the sort", {"A", "a", "A"}, true, "A:0"},
        {"a a A in reverse spelling", {"a", "A", "a"}, true, "a:0"},
        {"trailing blank makes another name", {"S ", "S", "s "}, true, "S :0 S:1"},
        {"empty names", {"", "x", ""}, true, ":0 x:1"},
        {"non-ASCII case variants", {"b", "\xC4x", "B", "\xE4X"}, true, "b:0 \xC4x:1"},
        {"punctuation is not ignored", {"a-b", "ab", "a_b", "A-B"}, true, "a-b:0 ab:1 a_b:2"},
        {"forty sections of seven names", many, true, "S0:0 S1:1 S2:2 S3:3 S4:4 S5:5 S6:6"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        {
            TSectionList list;
            Fill(list, row.Names);
            EXPECT_EQ(row.Removed, list.RemoveDuplicates());
            EXPECT_EQ(row.After, Describe(list));
            EXPECT_EQ(list.Count(), TCountedLines::Alive);  // the dropped lists are freed
        }
        EXPECT_EQ(0, TCountedLines::Alive);  // and the rest with the list
    }
}

TEST(SectionList, DeleteAndClearFreeTheLineLists) {
    TSectionList list;
    Fill(list, {"A", "B", "C"});
    list.Delete(1);
    EXPECT_EQ(2, TCountedLines::Alive);
    EXPECT_EQ("A:0 C:2", Describe(list));
    list.Clear();
    EXPECT_EQ(0, TCountedLines::Alive);
}

TEST(SectionList, LinesOutsideTheListIsNone) {
    TSectionList list;
    Fill(list, {"A"});
    EXPECT_NE(nullptr, list.Lines(0));
    EXPECT_EQ(nullptr, list.Lines(-1));
    EXPECT_EQ(nullptr, list.Lines(1));
}

// The matcher answers many comparisons without CompareStringA; its answers
// must be CompareStringA's all the same.
TEST(NameMatcher, AgreesWithCompareStringAOnEveryPairOfBytes) {
    int differences = 0;
    for (int a = 1; a < 256; ++a) {
        const std::string name(1, static_cast<char>(a));
        const TNameMatcher matcher(name);
        for (int b = 1; b < 256; ++b) {
            const std::string text(1, static_cast<char>(b));
            const bool expected = LocaleSame(name, text);
            // A key ends at the first "=", so "=" itself is tried as a name only.
            if (matcher.SameAs(text) != expected || (b != '=' && matcher.IsKeyOf(text + "=v") != expected)) {
                if (++differences <= 10) ADD_FAILURE() << "bytes " << a << " and " << b;
            }
        }
    }
    EXPECT_EQ(0, differences);
}

TEST(NameMatcher, AgreesWithCompareStringAOnShortTexts) {
    // Every text of up to two bytes from an alphabet of plain letters, digits,
    // punctuation, and bytes CompareStringA treats specially: letters with
    // umlauts (C4/E4), sharp s (DF), the soft hyphen (AD, ignored), ae (E6).
    const std::string alphabet = "aAzZ09-'_ .\\\xC4\xE4\xDF\xAD\xE6";
    TNames texts = {""};
    for (char x : alphabet) {
        texts.push_back(std::string(1, x));
        for (char y : alphabet) texts.push_back(std::string(1, x) + y);
    }
    int differences = 0;
    for (const std::string& name : texts) {
        const TNameMatcher matcher(name);
        for (const std::string& text : texts) {
            const bool expected = LocaleSame(name, text);
            if (matcher.SameAs(text) != expected || matcher.IsKeyOf(text + "=" + name) != expected) {
                if (++differences <= 10) ADD_FAILURE() << "'" << name << "' and '" << text << "'";
            }
        }
    }
    EXPECT_EQ(0, differences);
}

TEST(NameMatcher, NamedCases) {
    struct TRow {
        std::string Name;
        std::string Text;
    };
    const TRow rows[] = {
        {"CopyFiles", "copyfiles"},
        {"\xC4pfel", "\xE4PFEL"},
        {"Stra\xDF" "e", "STRASSE"},
        {"co-op", "coop"},
        {"a b", "ab"},
        {"ab\xAD", "ab"},
        {"key", "key "},
        {"C:\\Program Files\\App\\a.dll", "c:\\PROGRAM FILES\\app\\A.DLL"},
        {"C:\\Program Files\\App\\a.dll", "C:\\Program Files\\App\\b.dll"},
        {"aA", "Aa"},
        {"\xE6", "ae"},
        {"Key1", "Key10"},
        {"", ""},
        {"", "\xAD"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name + " / " + row.Text);
        const TNameMatcher matcher(row.Name);
        const bool expected = LocaleSame(row.Name, row.Text);
        EXPECT_EQ(expected, matcher.SameAs(row.Text));
        EXPECT_EQ(expected, matcher.IsKeyOf(row.Text + "=1"));
        EXPECT_EQ(expected, matcher.IsKeyOf(row.Text + "=1=2"));
        EXPECT_FALSE(matcher.IsKeyOf(row.Text));  // no "=": no key
    }
    // Where every locale agrees.
    EXPECT_TRUE(TNameMatcher(rows[0].Name).SameAs(rows[0].Text));
    EXPECT_FALSE(TNameMatcher(rows[6].Name).SameAs(rows[6].Text));
    EXPECT_FALSE(TNameMatcher(rows[11].Name).IsKeyOf("Key10=x"));
    // A name with "=" is a valid section name but never a line's key.
    const std::string withEquals = "a=b";
    EXPECT_TRUE(TNameMatcher(withEquals).SameAs("A=B"));
    EXPECT_FALSE(TNameMatcher(withEquals).IsKeyOf("a=b=1"));
    EXPECT_FALSE(TNameMatcher(withEquals).IsKeyOf("a=1"));
}
