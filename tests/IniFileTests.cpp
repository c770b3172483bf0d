#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "utils.h"
#include "zrIniFile.h"

namespace {

using TIni = std::unique_ptr<TzrIniFile>;

// Load options switched off, by bit.
enum : unsigned { kKeepComments = 1, kKeepLinesWithoutEquals = 2, kKeepBlanks = 4, kKeepQuotes = 8 };

TIni Load(const std::string& path, bool readOnly, unsigned off = 0) {
    return TIni(TzrIniFile::CreateWithOptions(path, readOnly, !(off & kKeepComments),
                                              !(off & kKeepLinesWithoutEquals), !(off & kKeepBlanks),
                                              !(off & kKeepQuotes)));
}

// The content in memory: "[name]" and the lines of every section, joined by "|".
std::string Dump(const TzrIniFile& ini) {
    std::string r;
    for (int i = 0; i < ini.Sections.Count(); ++i) {
        r += (r.empty() ? "[" : "|[") + ini.Sections[i] + "]";
        const TStringList* lines = ini.Sections.Lines(i);
        for (int j = 0; j < lines->Count(); ++j) r += "|" + (*lines)[j];
    }
    return r;
}

// Replaces the list's content by the "|"-separated lines.
void SetLines(TStringList& list, const std::string& joined) {
    list.Clear();
    if (joined.empty()) return;
    size_t start = 0;
    for (size_t bar; (bar = joined.find('|', start)) != std::string::npos; start = bar + 1)
        list.Add(joined.substr(start, bar - start));
    list.Add(joined.substr(start));
}

std::string Joined(const TStringList& list) {
    std::string r;
    for (int i = 0; i < list.Count(); ++i) r += (i ? "|" : "") + list[i];
    return r;
}

bool CanOpenForWriting(const std::string& path) {
    TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

class IniFile : public ::testing::Test {
protected:
    // A file with the given bytes in the scratch folder; its path.
    std::string MakeFile(const std::string& bytes, const std::string& name = "test.ini") {
        const std::string path = Dir / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    TTempDir Dir;
};

// The file the read and write tests share.
const char kSample[] =
    "[Strings]\r\n"
    "AppID=App\r\n"
    "Title = First\r\n"
    "title=Second\r\n"
    "=empty key\r\n"
    "Key1=one\r\n"
    "Key10=ten\r\n"
    "\xC4pfel=apple\r\n"
    "[ Spaced ]\r\n"
    "k=spaced\r\n"
    "[Trail ]\r\n"
    "k=trail\r\n"
    "[Numbers]\r\n"
    "hex=0x1A\r\n"
    "HEX=0X1a\r\n"
    "dollar=$1A\r\n"
    "neg=-5\r\n"
    "ones=$FFFFFFFF\r\n"
    "blank=\r\n"
    "blanks=\" 7\"\r\n"
    "junk=12abc\r\n"
    "bare=0x\r\n"
    "big=4294967296\r\n"
    "signhex=-$1A\r\n"
    "zero=0\r\n"
    "one=1\r\n"
    "two=2\r\n"
    "minus=-1\r\n"
    "yes=yes\r\n";

}  // namespace

// --------------------------------------------------------------- loading

TEST_F(IniFile, LoadingFollowsTheLineRules) {
    struct TRow {
        const char* What;
        std::string Bytes;
        unsigned Off;
        std::string Content;
    };
    const TRow rows[] = {
        {"CR LF line ends", "[S]\r\nk=v\r\n", 0, "[S]|k=v"},
        {"CR alone ends a line", "[S]\rk=v\ra=b", 0, "[S]|k=v|a=b"},
        {"LF alone ends nothing: one line, no header", "[S]\nk=v\n", 0, ""},
        {"LF-only lines run together", "[S]\r\na=1\nb=2\nc=3\n", 0, "[S]|a=1b=2c=3"},
        {"last line without line end", "[S]\r\nk=v", 0, "[S]|k=v"},
        {"empty file", "", 0, ""},
        {"blanks, tabs and control characters trimmed", " \t[S] \t\r\n\t k=v \x01\r\n", 0, "[S]|k=v"},
        {"blank lines and lines of blanks dropped", "[S]\r\n\r\n \t \r\nk=v\r\n\r\n", 0, "[S]|k=v"},
        {"comments dropped, also after blanks", "[S]\r\n;c=1\r\n   ;c=2\r\nk=v\r\n", 0, "[S]|k=v"},
        {"# is no comment", "[S]\r\n#c=1\r\n", 0, "[S]|#c=1"},
        {"comments kept when asked", "[S]\r\n;c=1\r\n", kKeepComments, "[S]|;c=1"},
        {"end-of-file mark ignored", "[S]\r\nk=v\r\n\x1A", 0, "[S]|k=v"},
        {"end-of-file mark amid lines", "[S]\r\n\x1A\r\nk=v\r\n", 0, "[S]|k=v"},
        {"blanks around the first = only", "[S]\r\nk \t= \tv = w\r\n", 0, "[S]|k=v = w"},
        {"blanks kept when asked", "[S]\r\nk = v\r\n", kKeepBlanks, "[S]|k = v"},
        {"line beginning with = keeps its blanks", "[S]\r\n=  v\r\n", 0, "[S]|=  v"},
        {"double quotes stripped", "[S]\r\nk=\"v w\"\r\n", 0, "[S]|k=v w"},
        {"single quotes stripped", "[S]\r\nk='v'\r\n", 0, "[S]|k=v"},
        {"quotes after blanks stripped", "[S]\r\nk = \"v\"\r\n", 0, "[S]|k=v"},
        {"two double quotes become empty", "[S]\r\nk=\"\"\r\nj=''\r\n", 0, "[S]|k=|j="},
        {"mixed quotes stay", "[S]\r\nk=\"v'\r\n", 0, "[S]|k=\"v'"},
        {"a lone quote stays", "[S]\r\nk=\"\r\nj=\"v\r\n", 0, "[S]|k=\"|j=\"v"},
        {"only the outer pair goes", "[S]\r\nk=\"a\"b\"\r\n", 0, "[S]|k=a\"b"},
        {"line beginning with = keeps its quotes", "[S]\r\n=\"v\"\r\n", 0, "[S]|=\"v\""},
        {"quotes kept when asked", "[S]\r\nk=\"v\"\r\n", kKeepQuotes, "[S]|k=\"v\""},
        {"lines without = dropped", "[S]\r\nplain\r\nk=v\r\n", 0, "[S]|k=v"},
        {"lines without = kept when asked", "[S]\r\nplain\r\n", kKeepLinesWithoutEquals, "[S]|plain"},
        {"lines before the first header dropped", "k=v\r\n[S]\r\na=b\r\n", 0, "[S]|a=b"},
        {"header with a comment is no header", "[S]\r\n[T] ;c\r\nk=v\r\n", 0, "[S]|k=v"},
        {"... and a plain line when lines without = stay", "[S]\r\n[T] ;c\r\n", kKeepLinesWithoutEquals,
         "[S]|[T] ;c"},
        {"header with = in it", "[a=b]\r\nk=v\r\n", 0, "[a=b]|k=v"},
        {"blanks inside the brackets stay", "[ S ]\r\nk=v\r\n", 0, "[ S ]|k=v"},
        {"empty name", "[]\r\nk=v\r\n", 0, "[]|k=v"},
        {"a lone bracket is no header", "[S]\r\n[\r\n]\r\n", kKeepLinesWithoutEquals, "[S]|[|]"},
        {"sections without lines stay in memory", "[A]\r\n[B]\r\nk=v\r\n", 0, "[A]|[B]|k=v"},
        {"duplicate sections: the first wins with its own lines",
         "[A]\r\nx=1\r\n[B]\r\ny=1\r\n[a]\r\nx=2\r\nz=3\r\n[A]\r\nw=4\r\n", 0, "[A]|x=1|[B]|y=1"},
        {"duplicate keys both kept", "[S]\r\nk=1\r\nK=2\r\n", 0, "[S]|k=1|K=2"},
        {"all options off", "x\r\n[S]\r\n ;c \r\nk = 'v'\r\nplain\r\n", 15, "[S]|;c|k = 'v'|plain"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TIni ini = Load(MakeFile(row.Bytes), true, row.Off);
        EXPECT_EQ(row.Content, Dump(*ini));
        EXPECT_FALSE(ini->Modified);
    }
}

TEST_F(IniFile, MissingFileDirectoryAndEmptyNameGiveAnEmptyObject) {
    CreateDirectoryA((Dir / "folder.ini").c_str(), nullptr);
    const std::string names[] = {Dir / "missing.ini", Dir / "folder.ini", ""};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        for (bool readOnly : {true, false}) {
            TIni ini = Load(name, readOnly);
            EXPECT_EQ(0, ini->Sections.Count());
            EXPECT_FALSE(ini->FileHandle.Valid());
            EXPECT_EQ("d", ini->ReadString("S", "k", "d"));
            EXPECT_EQ(name, ini->FileName);
        }
    }
    // Nothing written for an empty name: the object has nowhere to write.
    TIni ini = Load("", false);
    ini->WriteString("S", "k", "v");
    ini->UpdateFile();
    EXPECT_FALSE(ini->Modified);
    EXPECT_EQ("", ini->FileName);
}

TEST_F(IniFile, BareNameLiesInTheWindowsDirectory) {
    const std::string name = UniqueName("absent") + ".ini";
    TIni ini = Load(name, true);
    EXPECT_EQ(WindowsDirectory() + "\\" + name, ini->FileName);
    TIni drive = Load("C:" + name, true);
    EXPECT_EQ("C:" + name, drive->FileName);  // a drive is a folder part
}

// --------------------------------------------------------------- reading

TEST_F(IniFile, ReadStringFindsTheFirstLineOfAKey) {
    TIni ini = Load(MakeFile(kSample), true);
    struct TRow {
        const char* Section;
        const char* Key;
        const char* Value;
    };
    const TRow rows[] = {
        {"Strings", "AppID", "App"},
        {"STRINGS", "appid", "App"},
        {"Strings", "TITLE", "First"},
        {"Strings", "", "empty key"},
        {"Strings", "Key1", "one"},
        {"Strings", "Key10", "ten"},
        {"Strings", "Key", "default"},
        {"Strings", "\xE4PFEL", "apple"},
        {"Strings", "Missing", "default"},
        {"Missing", "AppID", "default"},
        {" Spaced ", "k", "spaced"},
        {"Spaced", "k", "default"},
        {"Trail ", "k", "trail"},
        {"Trail", "k", "default"},
        {"Numbers", "blank", ""},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::string(row.Section) + "/" + row.Key);
        EXPECT_EQ(row.Value, ini->ReadString(row.Section, row.Key, "default"));
    }
}

TEST_F(IniFile, ReadIntegerAndReadBool) {
    const std::string longHex = "0x" + std::string(260, '0') + "1A";
    TIni ini = Load(MakeFile(std::string(kSample) + "long=" + longHex + "\r\n"), true);
    struct TRow {
        const char* Key;
        int Value;  // with default 99
    };
    const TRow integers[] = {
        {"hex", 26},   {"HEX", 26},   {"dollar", 26},  {"neg", -5},      {"ones", -1},
        {"blank", 99}, {"blanks", 7}, {"junk", 99},    {"bare", 99},     {"big", 99},
        {"signhex", 99}, {"zero", 0}, {"missing", 99}, {"yes", 99},
        {"long", 26},  // the whole "0x" value counts, not the first 255 digits
    };
    for (const TRow& row : integers) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(row.Value, ini->ReadInteger("Numbers", row.Key, 99));
    }
    struct TBoolRow {
        const char* Key;
        bool IfDefaultFalse;
        bool IfDefaultTrue;
    };
    const TBoolRow bools[] = {
        {"zero", false, false}, {"one", true, true},  {"two", true, true},    {"minus", true, true},
        {"yes", false, true},   {"blank", false, true}, {"missing", false, true},
    };
    for (const TBoolRow& row : bools) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(row.IfDefaultFalse, ini->ReadBool("Numbers", row.Key, false));
        EXPECT_EQ(row.IfDefaultTrue, ini->ReadBool("Numbers", row.Key, true));
    }
}

TEST_F(IniFile, WholeSectionReads) {
    TIni ini = Load(MakeFile("[A]\r\nx=1\r\ny=2\r\n[B]\r\n=3\r\n[C]\r\n[D]\r\nz=4\r\n"), true, 0);
    TStringList list;
    list.Add("old");
    ini->ReadSection("a", list);
    ini->ReadSection("B", list);
    ini->ReadSection("none", list);
    EXPECT_EQ("old|x|y|", Joined(list));  // appended, not replaced

    ini->ReadSections(list);
    EXPECT_EQ("A|B|C|D", Joined(list));  // replaced

    struct TRow {
        const char* Section;
        const char* Before;
        const char* After;
    };
    const TRow rows[] = {
        {"A", "", "x=1|y=2"},
        {"A", "y=old|q=keep|X=old|q=second|w", "x=1|y=2|q=keep|w"},
        {"none", "q=keep", "q=keep"},
        {"C", "q=keep", "q=keep"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::string(row.Section) + " " + row.Before);
        SetLines(list, row.Before);
        ini->ReadSectionValues(row.Section, list);
        EXPECT_EQ(row.After, Joined(list));
    }

    SetLines(list, "first");
    ini->GetStrings(list);
    EXPECT_EQ("first|[A]|x=1|y=2||[B]|=3||[D]|z=4|", Joined(list));  // [C] has no lines
}

TEST_F(IniFile, ReadSectionValuesKeepsTheObjectsOfAnOwningList) {
    TIni ini = Load(MakeFile("[A]\r\nx=1\r\n"), true);
    TStringList list(true);
    auto* kept = new TStringList;
    kept->Add("marker");
    list.AddObject("q=keep", kept);
    list.AddObject("x=dropped", new TStringList);
    ini->ReadSectionValues("A", list);
    ASSERT_EQ("x=1|q=keep", Joined(list));
    EXPECT_EQ(nullptr, list.Objects(0));
    EXPECT_EQ(kept, list.Objects(1));
    EXPECT_TRUE(list.OwnsObjects);
}

TEST_F(IniFile, FindKeyMovesLastSection) {
    TIni ini = Load(MakeFile("[A]\r\na=1\r\n[B]\r\nb=1\r\n[C]\r\nc=1\r\n[D]\r\nd=1\r\n"), true);
    struct TRow {
        int Start;
        const char* Section;
        const char* Key;
        bool Create;
        int Index;
        int LastSection;
        bool HasLines;
    };
    const TRow rows[] = {
        {2, "b", "B", false, 0, 1, true},        // found after C, D, A: ends on the entry found
        {2, "B", "none", false, -1, 1, true},    // section found, key missing
        {2, "none", "b", false, -1, 1, false},   // ends on the last compared: 2, 3, 0, 1
        {0, "none", "b", false, -1, 3, false},
        {7, "none", "b", false, -1, 3, false},   // out of range counts as 0
        {-3, "none", "b", false, -1, 3, false},
        {1, "New", "b", true, -1, 4, true},      // created at the end
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Section + std::string(" from ") + std::to_string(row.Start));
        ini->LastSection = row.Start;
        TStringList* lines = nullptr;
        EXPECT_EQ(row.Index, ini->FindKey(row.Section, row.Key, row.Create, lines));
        EXPECT_EQ(row.LastSection, ini->LastSection);
        EXPECT_EQ(row.HasLines, lines != nullptr);
    }
    EXPECT_EQ("New", ini->Sections[4]);
}

// --------------------------------------------------------------- changing

TEST_F(IniFile, ChangesInMemoryAndTheModifiedFlag) {
    using TChange = std::function<void(TzrIniFile&)>;
    struct TRow {
        const char* What;
        TChange Change;
        bool Modified;
        std::string Content;
    };
    const std::string base = "[S]|k=1|K=2|j=3|[T]|t=1";
    const TRow rows[] = {
        {"nothing", [](TzrIniFile&) {}, false, base},
        {"new key appended", [](TzrIniFile& f) { f.WriteString("s", "new", "v"); }, true,
         "[S]|k=1|K=2|j=3|new=v|[T]|t=1"},
        {"first line of a key replaced", [](TzrIniFile& f) { f.WriteString("S", "K", "9"); }, true,
         "[S]|K=9|K=2|j=3|[T]|t=1"},
        {"identical line: no change", [](TzrIniFile& f) { f.WriteString("S", "k", "1"); }, false, base},
        {"case of the key alone changes", [](TzrIniFile& f) { f.WriteString("S", "K", "1"); }, true,
         "[S]|K=1|K=2|j=3|[T]|t=1"},
        {"new section at the end", [](TzrIniFile& f) { f.WriteString("New", "a", "b"); }, true,
         base + "|[New]|a=b"},
        {"integer and bool", [](TzrIniFile& f) { f.WriteInteger("T", "i", -12); f.WriteBool("T", "b", true);
                                                 f.WriteBool("T", "c", false); },
         true, base + "|i=-12|b=1|c=0"},
        {"empty key with a value erases", [](TzrIniFile& f) { f.WriteString("s", "", "x"); }, true, "[T]|t=1"},
        {"empty key and value erase", [](TzrIniFile& f) { f.WriteString("T", "", ""); }, true,
         "[S]|k=1|K=2|j=3"},
        {"erase missing section", [](TzrIniFile& f) { f.EraseSection("none"); }, false, base},
        {"delete key: first line only", [](TzrIniFile& f) { f.DeleteKey("S", "K"); }, true,
         "[S]|K=2|j=3|[T]|t=1"},
        {"delete missing key", [](TzrIniFile& f) { f.DeleteKey("S", "none"); }, false, base},
        {"delete in missing section leaves it empty", [](TzrIniFile& f) { f.DeleteKey("None", "k"); }, false,
         base + "|[None]"},
        {"section values", [](TzrIniFile& f) {
             TStringList list;
             SetLines(list, "j=4|noequals|k=1");
             f.WriteSectionValues("S", list);
         },
         true, "[S]|k=1|K=2|j=4|noequals=|[T]|t=1"},
        {"section values with a line beginning with =", [](TzrIniFile& f) {
             TStringList list;
             SetLines(list, "j=4|=x|m=5");
             f.WriteSectionValues("S", list);
         },
         true, "[T]|t=1|[S]|m=5"},
    };
    const std::string path = MakeFile("[S]\r\nk=1\r\nK=2\r\nj=3\r\n[T]\r\nt=1\r\n");
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        TIni ini = Load(path, true);
        row.Change(*ini);
        EXPECT_EQ(row.Modified, ini->Modified);
        EXPECT_EQ(row.Content, Dump(*ini));
    }
    // After the deletion of the first line the second counts.
    TIni ini = Load(path, true);
    ini->DeleteKey("S", "k");
    EXPECT_EQ("2", ini->ReadString("S", "k", ""));
}

TEST_F(IniFile, DeleteKeyInAMissingSectionIsListedButNotWritten) {
    const std::string path = MakeFile("[S]\r\nk=1\r\n");
    {
        TIni ini = Load(path, false);
        ini->DeleteKey("Ghost", "k");
        TStringList list;
        ini->ReadSections(list);
        EXPECT_EQ("S|Ghost", Joined(list));
        ini->WriteString("S", "k", "2");
    }
    EXPECT_EQ("[S]\r\nk=2\r\n\r\n", ReadFileBytes(path));
}

// --------------------------------------------------------------- writing back

TEST_F(IniFile, WriteBackProducesTheNormalForm) {
    const std::string path = MakeFile(
        "; comment\r\n"
        "orphan=1\r\n"
        "[Main]\r\n"
        "  key1 = \"value one\"  \r\n"
        "#hash=1\r\n"
        "noequals\r\n"
        "key2='x'\r\n"
        "\r\n"
        "[Empty]\r\n"
        "[main]\r\n"
        "dup=1\r\n"
        "[Other]\n"
        "a=1\r\n"
        "\x1A");
    {
        TIni ini = Load(path, false);
        ini->WriteString("New", "n", "1");
        ini->UpdateFile();
        EXPECT_FALSE(ini->Modified);
        EXPECT_EQ("[Main]\r\nkey1=value one\r\n#hash=1\r\nkey2=x\r\n\r\n"
                  "[New]\r\nn=1\r\n\r\n",
                  ReadFileBytes(path));  // "[Other]" + LF + "a=1" is one line that is not a header
        // Shorter content cuts the file.
        ini->EraseSection("Main");
        ini->UpdateFile();
        EXPECT_EQ("[New]\r\nn=1\r\n\r\n", ReadFileBytes(path));
        // No section with lines: an empty file.
        ini->DeleteKey("New", "n");
        ini->UpdateFile();
        EXPECT_TRUE(FileExists(path));
        EXPECT_EQ("", ReadFileBytes(path));
    }
    EXPECT_EQ("", ReadFileBytes(path));
}

TEST_F(IniFile, WhenTheContentIsWrittenBack) {
    const std::string original = "[S]\r\nk = 1\r\n";
    using TAction = std::function<void(TzrIniFile&, const std::string& other)>;
    struct TRow {
        const char* What;
        bool ReadOnly;
        TAction Action;  // after WriteString("S", "j", "2")
        std::string Before;  // the file before the object goes
    };
    const std::string written = "[S]\r\nk=1\r\nj=2\r\n\r\n";
    const TRow rows[] = {
        {"not before UpdateFile", false, [](TzrIniFile&, const std::string&) {}, original},
        {"UpdateFile", false, [](TzrIniFile& f, const std::string&) { f.UpdateFile(); }, written},
        {"WriteString with all empty", false, [](TzrIniFile& f, const std::string&) { f.WriteString("", "", ""); },
         written},
        {"Open of another file", false, [](TzrIniFile& f, const std::string& other) { f.Open(other); }, written},
        {"never for a read-only object", true, [](TzrIniFile& f, const std::string&) { f.UpdateFile(); },
         original},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.What);
        const std::string path = MakeFile(original);
        const std::string other = MakeFile("[O]\r\no=1\r\n", "other.ini");
        {
            TIni ini = Load(path, row.ReadOnly);
            ini->WriteString("S", "j", "2");
            row.Action(*ini, other);
            EXPECT_EQ(row.Before, ReadFileBytes(path));
        }
        EXPECT_EQ(row.ReadOnly ? original : written, ReadFileBytes(path));  // the destructor writes back
        EXPECT_EQ("[O]\r\no=1\r\n", ReadFileBytes(other));                 // loading never writes
    }
}

TEST_F(IniFile, MissingFoldersAreCreatedOnTheFirstWriteBack) {
    const std::string folder = Dir / "one\\two\\three";
    const std::string path = folder + "\\new.ini";
    TIni ini = Load(path, false);
    EXPECT_FALSE(ini->FileHandle.Valid());
    ini->WriteString("S", "k", "v");
    EXPECT_FALSE(FolderExists(Dir / "one"));
    ini->UpdateFile();
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ("[S]\r\nk=v\r\n\r\n", ReadFileBytes(path));
    EXPECT_TRUE(ini->FileHandle.Valid());  // kept for the next write-back
    EXPECT_FALSE(CanOpenForWriting(path));
}

TEST_F(IniFile, AWritableObjectHoldsTheFileAgainstOtherWriters) {
    const std::string path = MakeFile("[S]\r\nk=v\r\n");
    {
        TIni writer = Load(path, false);
        EXPECT_TRUE(writer->FileHandle.Valid());
        EXPECT_FALSE(CanOpenForWriting(path));
        try {
            Load(path, false);
            ADD_FAILURE() << "a second writable object opened the file";
        } catch (const EInOutError& e) {
            EXPECT_EQ("Cannot open file " + path, e.Message());
        }
        // Readers are welcome.
        TIni reader = Load(path, true);
        EXPECT_EQ("v", reader->ReadString("S", "k", ""));
        EXPECT_FALSE(reader->FileHandle.Valid());  // closed once loaded
        EXPECT_EQ("v", ReadFileBytes(path).substr(7, 1));
    }
    EXPECT_TRUE(CanOpenForWriting(path));
    TIni again = Load(path, false);
    EXPECT_EQ("v", again->ReadString("S", "k", ""));
}

TEST_F(IniFile, ReadOnlyObjectsShareWritingWithOthers) {
    const std::string path = MakeFile("[S]\r\nk=v\r\n");
    // Another program writes to the file all along: read-only loading shares
    // writing, a writable object cannot get the file.
    TFileHandle other(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.Valid());
    EXPECT_EQ("v", Load(path, true)->ReadString("S", "k", ""));
    EXPECT_THROW(Load(path, false), EInOutError);
    // An object that failed to load never came to be; Create raises the same.
    EXPECT_THROW(delete TzrIniFile::Create(path, false), EInOutError);
    other.Reset();
    // A file opened without sharing defeats even the reader.
    TFileHandle exclusive(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    ASSERT_TRUE(exclusive.Valid());
    EXPECT_THROW(Load(path, true), EInOutError);
}
