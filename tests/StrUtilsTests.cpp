#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "zrRtl.h"
#include "zrStrUtils.h"

namespace {

// ------------------------------------------------------------ small routines

struct TTextCase {
    const char* What;
    std::string Got;
    std::string Want;
};

TEST(StrUtilsText, SmallRoutines) {
    const TTextCase cases[] = {
        {"replace || by CR", StrReplaceAll("a||b||", "||", "\r"), "a\rb\r"},
        {"replace empty old", StrReplaceAll("a||b", "", "x"), "a||b"},
        {"replacement not rescanned", StrReplaceAll("aaa", "a", "aa"), "aaaaaa"},
        {"overlapping left to right", StrReplaceAll("|||", "||", "-"), "-|"},
        {"replace by nothing", StrReplaceAll("abab", "ab", ""), ""},
        {"replace case-sensitive", StrReplaceAll("Aa", "a", "x"), "Ax"},
        {"remove char", StrRemoveChar("a=b=c", '='), "abc"},
        {"remove spaces keeps tabs", StrRemoveSpaces(" a b\tc "), "ab\tc"},
        {"pad shorter", StrPadLeft('0', "7", 3), "007"},
        {"pad longer", StrPadLeft('0', "1234", 3), "1234"},
        {"pad empty", StrPadLeft('*', "", 2), "**"},
        {"pad negative width", StrPadLeft('0', "ab", -1), "ab"},
        {"before first", StrBeforeChar("k=a=b", '='), "k"},
        {"before missing", StrBeforeChar("line", '='), "line"},
        {"after first", StrAfterChar("k=a=b", '='), "a=b"},
        {"after missing", StrAfterChar("line", '='), ""},
        {"name without =", NamePart("line"), "line"},
        {"value without =", ValuePart("line"), ""},
        {"name of k=a=b", NamePart("k=a=b"), "k"},
        {"value of k=a=b", ValuePart("k=a=b"), "a=b"},
        {"name of =v", NamePart("=v"), ""},
        {"choose integer", std::to_string(ChooseVariant(false, 1, 2)), "2"},
        {"choose string", ChooseVariant<std::string>(true, "a", "b"), "a"},
    };
    for (const TTextCase& c : cases) EXPECT_EQ(c.Want, c.Got) << c.What;
}

TEST(StrUtilsText, StrToOemConvertsToOemCodePage) {
    EXPECT_EQ("", StrToOem(""));
    EXPECT_EQ("C:\\Plain ASCII 123", StrToOem("C:\\Plain ASCII 123"));
    if (GetACP() != 1252 || GetOEMCP() != 437) GTEST_SKIP() << "code pages " << GetACP() << "/" << GetOEMCP();
    // u umlaut and sharp s: 0xFC and 0xDF in the ANSI page, 0x81 and 0xE1 in the OEM page.
    EXPECT_EQ(std::string("Gr\x81\xE1 x"), StrToOem("Gr\xFC\xDF x"));
}

// -------------------------------------------------------------------- words

struct TWordsCase {
    std::string Text;
    std::string Delims;
    std::vector<std::pair<std::string, int>> Words;  // word and its 1-based start
};

TEST(StrUtilsWords, CountStartAndGet) {
    const TWordsCase cases[] = {
        {";a;;b;", ";", {{"a", 2}, {"b", 5}}},
        {"", ";", {}},
        {";;;", ";", {}},
        {"one two  three", " ", {{"one", 1}, {"two", 5}, {"three", 10}}},
        {"single", ",", {{"single", 1}}},
        {"a,b;c", ",;", {{"a", 1}, {"b", 3}, {"c", 5}}},
        {"x y", "", {{"x y", 1}}},
    };
    for (const TWordsCase& c : cases) {
        SCOPED_TRACE("text \"" + c.Text + "\" delims \"" + c.Delims + "\"");
        const TCharSet delims = CharSet(c.Delims);
        const int count = static_cast<int>(c.Words.size());
        EXPECT_EQ(count, CountWords(c.Text, delims));
        for (int n = 1; n <= count; ++n) {
            EXPECT_EQ(c.Words[n - 1].first, GetWord(n, c.Text, delims)) << "word " << n;
            EXPECT_EQ(c.Words[n - 1].second, WordStart(n, c.Text, delims)) << "word " << n;
        }
        for (int n : {count + 1, 0, -1}) {
            EXPECT_EQ(0, WordStart(n, c.Text, delims)) << "word " << n;
            EXPECT_EQ("", GetWord(n, c.Text, delims)) << "word " << n;
        }
    }
}

TEST(StrUtilsWords, HasWord) {
    struct {
        const char* Word;
        const char* Text;
        bool CaseSensitive;
        bool Want;
    } const cases[] = {
        {"b", "a;B;c", false, true},   {"b", "a;B;c", true, false},  {"B", "a;B;c", true, true},
        {"c", ";;a;;c;;", true, true}, {"", "a;;b", false, false},   {"a;b", "a;b", false, false},
        {"ab", "a;b", false, false},   {"a", "", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Want, HasWord(c.Word, c.Text, CharSet(";"), c.CaseSensitive))
            << c.Word << " in " << c.Text << " case-sensitive " << c.CaseSensitive;
}

// ------------------------------------------------------------------- fields

TEST(StrUtilsFields, GetField) {
    struct {
        const char* Text;
        int N;
        const char* Want;
    } const cases[] = {
        {"a,,c", 1, "a"},
        {"a,,c", 2, ""},
        {"a,,c", 3, "c"},
        {"a,,c", 4, ""},
        {"a,", 2, ""},
        {"a,b", 5, ""},
        {"a,b", 0, "a"},
        {"a,b", -3, "a"},
        {"", 1, ""},
        {"a, b ,c", 2, " b "},  // blanks stay
        // double quotes protect the delimiter and stay in the field
        {"\"C:\\A,B\\x.exe\",p", 1, "\"C:\\A,B\\x.exe\""},
        {"\"C:\\A,B\\x.exe\",p", 2, "p"},
        {"x,\"y,z\",w", 2, "\"y,z\""},
        {"x,\"y,z\",w", 3, "w"},
        // apostrophes protect the delimiter and are removed
        {"'x,y',z", 1, "x,y"},
        {"'x,y',z", 2, "z"},
        {"'it''s',x", 1, "it's"},
        // the other quote character is ordinary inside a quote
        {"\"it's, ok\",n", 1, "\"it's, ok\""},
        {"\"it's, ok\",n", 2, "n"},
        {"'say \"hi, there\"',n", 1, "say \"hi, there\""},
        {"'say \"hi, there\"',n", 2, "n"},
        // an unclosed quote runs to the end
        {"\"a,b", 1, "\"a,b"},
        {"\"a,b", 2, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Want, GetField(c.N, c.Text, CharSet(","))) << c.Text << " field " << c.N;
    EXPECT_EQ("b", GetField(2, "a;b,c", CharSet(",;")));
}

TEST(StrUtilsFields, Unquote) {
    struct {
        const char* Text;
        char Quote;
        const char* Want;
    } const cases[] = {
        {"'it''s'", '\'', "it's"}, {"\"abc", '"', "abc"},     {"abc", '"', "abc"},
        {"\"\"", '"', ""},          {"\"a\"b", '"', "a"},      {"", '"', ""},
        {"'a'", '"', "'a'"},        {"\"a\"\"\"", '"', "a\""}, {"x\"a\"", '"', "x\"a\""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Want, Unquote(c.Text, c.Quote)) << c.Text;
}

// ------------------------------------------------------------------ numbers

TEST(StrUtilsNumbers, IntegerParser) {
    struct {
        const char* Text;
        bool Ok;
        int Value;
    } const cases[] = {
        {"0", true, 0},
        {"12", true, 12},
        {" 12", true, 12},
        {"   -7", true, -7},
        {"+5", true, 5},
        {"-0", true, 0},
        {"007", true, 7},
        {"2147483647", true, INT_MAX},
        {"-2147483648", true, INT_MIN},
        {"$1F", true, 31},
        {"$1f", true, 31},
        {" $10", true, 16},
        {"$7FFFFFFF", true, INT_MAX},
        {"$80000000", true, INT_MIN},
        {"$FFFFFFFF", true, -1},
        {"$000000001", true, 1},  // leading zeros need no bits
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$100000000", false, 0},
        {"-$1", false, 0},
        {"+$1", false, 0},
        {"$", false, 0},
        {"$G", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"+-1", false, 0},
        {"12 ", false, 0},
        {"1 2", false, 0},
        {"12a", false, 0},
        {"0x1F", false, 0},
        {"1F", false, 0},
    };
    const int untouched = 4711;
    for (const auto& c : cases) {
        int value = untouched;
        EXPECT_EQ(c.Ok, TryStrToInt(c.Text, value)) << '"' << c.Text << '"';
        EXPECT_EQ(c.Ok ? c.Value : untouched, value) << '"' << c.Text << '"';
        EXPECT_EQ(c.Ok ? c.Value : -99, StrToIntDef(c.Text, -99)) << '"' << c.Text << '"';
    }
}

TEST(StrUtilsNumbers, StrToDWordDef) {
    const unsigned long def = 7;
    struct {
        const char* Text;
        unsigned long Want;
    } const cases[] = {
        {"0", 0},
        {"5", 5},
        {"2147483647", 2147483647UL},
        {"2147483648", 2147483648UL},
        {"3000000000", 3000000000UL},
        {"4294967295", 4294967295UL},
        {" 4294967295", 4294967295UL},
        {"+4294967295", 4294967295UL},
        {"-1", 4294967295UL},
        {"-2147483648", 2147483648UL},
        {"$FFFFFFFF", 4294967295UL},
        // beyond 32 bits, and texts that end in something else, give the default
        {"4294967296", def},
        {"4294967299", def},
        {"42949672950", def},
        {"-2147483649", def},
        {"$FFFFFFFF0", def},
        {"$1000000001", def},
        {"429496729x", def},
        {"4294967295 ", def},
        {"12a", def},
        {"", def},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Want, StrToDWordDef(c.Text, def)) << '"' << c.Text << '"';
}

TEST(StrUtilsNumbers, NumberTexts) {
    const TTextCase cases[] = {
        {"hex 255/4", IntToHexText(255, 4), "00FF"},
        {"hex 0x1A2B/2", IntToHexText(0x1A2B, 2), "1A2B"},
        {"hex 0/0", IntToHexText(0, 0), "0"},
        {"hex -1/2", IntToHexText(-1, 2), "FFFFFFFF"},
        {"hex min/8", IntToHexText(INT_MIN, 8), "80000000"},
        {"hex 10/10", IntToHexText(10, 10), "000000000A"},
        {"base 0/3/32", IntToBaseStr(0, 3, 32), "000"},
        {"base 31/2/32", IntToBaseStr(31, 2, 32), "0V"},
        {"base 255/0/16", IntToBaseStr(255, 0, 16), "FF"},
        {"base 5/8/2", IntToBaseStr(5, 8, 2), "00000101"},
        {"base 35/0/36", IntToBaseStr(35, 0, 36), "Z"},
        {"base max/0/36", IntToBaseStr(INT_MAX, 0, 36), "ZIK0ZJ"},
        {"base negative", IntToBaseStr(-1, 4, 10), ""},
        {"base 0 refused", IntToBaseStr(10, 0, 0), ""},
        {"base 37 refused", IntToBaseStr(10, 0, 37), ""},
        {"dword 0", DWordToStr(0), "0"},
        {"dword 42", DWordToStr(42), "42"},
        {"dword 2^31", DWordToStr(2147483648UL), "2147483648"},
        {"dword max", DWordToStr(4294967295UL), "4294967295"},
    };
    for (const TTextCase& c : cases) EXPECT_EQ(c.Want, c.Got) << c.What;
}

TEST(StrUtilsNumbers, HexToIntDef) {
    struct {
        const char* Text;
        int Want;
    } const cases[] = {
        {"1F", 31}, {"$1F", 31},     {"1f", 31},    {"xyz", 0}, {"", 0},
        {"$", 0},   {"FFFFFFFF", -1}, {"-1", 0},    {"0x1F", 0}, {"100000000", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Want, HexToIntDef(c.Text)) << '"' << c.Text << '"';
}

// ----------------------------------------------------------------- switches

TEST(StrUtilsSwitches, SplitsLikeTheRunTime) {
    struct {
        std::string CommandLine;
        std::vector<std::string> Args;  // argument 0 first
    } const cases[] = {
        {"prog.exe /s", {"prog.exe", "/s"}},
        {"\"C:\\Program Files\\u.exe\" /s", {"C:\\Program Files\\u.exe", "/s"}},
        {"p \"\" /s", {"p", "/s"}},
        {"p \"\"x", {"p", "x"}},
        {"p x\"\"y", {"p", "xy"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p\t a\x01" "b\r\n", {"p", "a", "b"}},
        {"p \"unclosed arg", {"p", "unclosed arg"}},
        {"p \"\"\"", {"p", ""}},
        {"  p  ", {"p"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("command line \"" + c.CommandLine + "\"");
        const int count = static_cast<int>(c.Args.size());
        EXPECT_EQ(count == 0 ? 0 : count - 1, ParamCount(c.CommandLine));
        for (int i = 0; i < count; ++i) EXPECT_EQ(c.Args[i], ParamStr(c.CommandLine, i)) << "argument " << i;
        EXPECT_EQ("", ParamStr(c.CommandLine, count));
        EXPECT_EQ("", ParamStr(c.CommandLine, -1));
    }
}

// FindSwitch reads the process's own command line, so each case starts this
// program again with chosen arguments and runs only the probe below, which
// ends the child with a bit mask of the switch searches that matched.
const char ProbeTest[] = "SwitchProbe.DISABLED_ReportSwitches";
const DWORD ProbeRan = 0x100;
enum : DWORD {
    ProbeHasS = 1,         // HasSwitch("s")
    ProbeNoIntroS = 2,     // FindSwitch("s", {}, true)
    ProbeSlashExactS = 4,  // FindSwitch("s", {'/'}, false)
    ProbeHasBlank = 8,     // HasSwitch("my switch")
};

TEST(SwitchProbe, DISABLED_ReportSwitches) {
    DWORD mask = ProbeRan;
    if (HasSwitch("s")) mask |= ProbeHasS;
    if (FindSwitch("s", TCharSet(), true)) mask |= ProbeNoIntroS;
    if (FindSwitch("s", CharSet("/"), false)) mask |= ProbeSlashExactS;
    if (HasSwitch("my switch")) mask |= ProbeHasBlank;
    ExitProcess(mask);
}

::testing::AssertionResult RunProbe(const std::string& extraArgs, DWORD& mask) {
    // The program as it was started: for a program outside every drive Wine's
    // GetModuleFileNameA gives "unix\..." without its "\\?\" prefix, a path
    // CreateProcessA cannot start, while argument 0 keeps the full form.
    std::string commandLine = "\"" + ParamStr(GetCommandLineA(), 0) +
                              "\" --gtest_also_run_disabled_tests --gtest_filter=" + ProbeTest + " " + extraArgs;

    // The child's test output goes to NUL.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    TFileHandle nul(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = nul.Get();
    startup.hStdError = nul.Get();
    // The child starts in the Windows folder: this program's own current
    // folder may lie outside every drive, which Wine reports on each start.
    char windowsFolder[MAX_PATH];
    UINT folderLength = GetWindowsDirectoryA(windowsFolder, MAX_PATH);
    const char* folder = folderLength > 0 && folderLength < MAX_PATH ? windowsFolder : nullptr;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder, &startup, &info))
        return ::testing::AssertionFailure() << "CreateProcessA failed with " << GetLastError();
    TKernelHandle process(info.hProcess);
    TKernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return ::testing::AssertionFailure() << "the probe did not end";
    }
    if (!GetExitCodeProcess(process.Get(), &mask)) return ::testing::AssertionFailure() << "GetExitCodeProcess";
    if ((mask & ProbeRan) == 0) return ::testing::AssertionFailure() << "the probe did not run, exit code " << mask;
    mask &= ~ProbeRan;
    return ::testing::AssertionSuccess();
}

TEST(StrUtilsSwitches, FindSwitchOnRealCommandLines) {
    const DWORD all = ProbeHasS | ProbeNoIntroS | ProbeSlashExactS;
    struct {
        const char* Args;
        DWORD Want;
    } const cases[] = {
        {"/s", all},
        {"-S", ProbeHasS | ProbeNoIntroS},
        {"/S", ProbeHasS | ProbeNoIntroS},
        {"-s", ProbeHasS | ProbeNoIntroS},
        {"s", 0},
        {"--s", 0},
        {"/silent", 0},
        {"/", 0},
        {"xs", ProbeNoIntroS},
        {"first /s last", all},
        {"\"/s\"", all},
        {"/\"s\"", all},
        {"\"\" /s", all},
        {"x\t/s", all},
        {"\"/my switch\"", ProbeHasBlank},
        {"/my switch", 0},
        {"\"", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        DWORD mask = 0;
        ASSERT_TRUE(RunProbe(c.Args, mask)) << "arguments " << c.Args;
        EXPECT_EQ(c.Want, mask) << "arguments " << c.Args;
    }
}

}  // namespace
