// Fonts taken out of Windows: the real Uninstall.exe on both families (file,
// registration under the family's Fonts key, the font as new programs see
// it, a file in use left to the restart, one WM_FONTCHANGE per font), and
// RemoveFonts called directly for what only shows inside the process (the
// font resource, the shared files kept, the steps).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "Uninstall.h"
#include "zrRtl.h"

namespace {

const char kFontsKeyNT[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char kFontsKey9x[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
// Built beside this program: the TrueType file of the system's DejaVu fonts
// (Debian package fonts-dejavu-core) and the probe that lists fonts.
const char kFontFile[] = "DejaVuSans.ttf";
const char kProbeFile[] = "FontProbe.exe";

struct TFamily {
    const char* Name;
    const char* ExeName;
    bool Win9x;
};
const TFamily kFamilies[] = {{"NT family", "Uninstall.exe", false}, {"9x family", "UnFont9x.exe", true}};

// The folder of this program, from argument 0 of its command line: under
// Wine without drive Z: it holds the "\\?\unix\..." form that CreateFileA
// understands (GetModuleFileNameA drops the "\\?\" there).
std::string OwnFolder() {
    std::string line = GetCommandLineA();
    std::string self = line[0] == '"' ? line.substr(1, line.find('"', 1) - 1) : line.substr(0, line.find(' '));
    return self.substr(0, self.rfind('\\'));
}

uint32_t BigEndian(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Replaces every "DejaVu" of the font's name table by tag (6 letters), in
// both the single-byte and the UTF-16 records: the copy is a family of its
// own, not the DejaVu fonts the system already has. False when the file is
// missing or has no name table.
bool WriteRenamedFont(const std::string& path, const std::string& tag) {
    std::string font = ReadFileBytes(OwnFolder() + "\\" + kFontFile);
    if (font.size() < 12 || tag.size() != 6) return false;
    uint32_t tables = BigEndian(font, 4, 2);
    for (uint32_t i = 0; i < tables && 12 + 16 * (i + 1) <= font.size(); ++i) {
        size_t record = 12 + 16 * i;
        if (font.compare(record, 4, "name") != 0) continue;
        size_t begin = BigEndian(font, record + 8, 4), end = begin + BigEndian(font, record + 12, 4);
        if (end > font.size()) return false;
        std::string wide, wideTag;
        for (char c : std::string("DejaVu")) wide += std::string(1, '\0') + c;
        for (char c : tag) wideTag += std::string(1, '\0') + c;
        for (const auto& [from, to] : {std::make_pair(std::string("DejaVu"), tag), std::make_pair(wide, wideTag)})
            for (size_t at = font.find(from, begin); at != std::string::npos && at + from.size() <= end;
                 at = font.find(from, at + from.size()))
                font.replace(at, from.size(), to);
        WriteFileBytes(path, font);
        return true;
    }
    return false;
}

// A value under a Fonts key of HKLM, taken away (or put back) when the
// object goes.
class TFontValue {
public:
    TFontValue(const char* key, const std::string& name) : Name(name), Saved(HKEY_LOCAL_MACHINE, key, name) {}
    void Write(const std::string& data) {
        RegSetValueExA(Saved.Get(), Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    }
    bool Exists() const {
        return RegQueryValueExA(Saved.Get(), Name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
private:
    std::string Name;
    TSavedRegValue Saved;
};

// Whether a program started now finds the font family. Wine keeps the fonts
// of AddFontResourceA per process, and a new process loads those of the
// Fonts key of the NT family that name a full path; Windows keeps them for
// the session. Either way, a family that a new program still finds has not
// gone from the system.
class TFontProbe {
public:
    explicit TFontProbe(const std::string& folder) : Folder(folder), Exe(folder + "\\" + kProbeFile) {
        CopyFileA((OwnFolder() + "\\" + kProbeFile).c_str(), Exe.c_str(), FALSE);
    }
    // 0 found, 1 not found, 2 no device context.
    DWORD Find(const std::string& family) const {
        return RunAndWaitExit("\"" + Exe + "\" \"" + family + "\"", Folder, 30000);
    }
private:
    std::string Folder;
    std::string Exe;
};

// The NT family's pending file operations hold the path as a deletion.
bool IsPendingDeletion(const std::string& path) {
    TKeyHandle key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    char data[8192] = {};
    DWORD size = sizeof data - 2;
    if (RegQueryValueExA(key.Get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
        return false;
    // Pairs of "\??\source" and target, the target empty for a deletion.
    for (const char* item = data; *item && item < data + size;) {
        const char* target = item + lstrlenA(item) + 1;
        std::string source = item;
        if (source.compare(0, 4, "\\??\\") == 0) source.erase(0, 4);
        if (!*target && SameText(source, path)) return true;
        item = target + lstrlenA(target) + 1;
    }
    return false;
}

bool HasLine(const std::string& text, const std::string& line) {
    std::vector<std::string> lines = SplitLines(text);
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return SameText(l, line); });
}

}  // namespace

// ------------------------------------------------------- the real program

// One run per family over a log of three fonts. The value goes from the
// family's own Fonts key only: a value of the same name under the other
// family's key stays.
TEST(FontsUninstall, RemovesFileRegistrationAndTheFontItself) {
    struct TRow {
        const char* Name;
        const char* Tag;  // the family of the font file: "<Tag> Sans"
        bool File;        // its file is there before the run
        bool Registered;  // its value is under the family's Fonts key
    } const rows[] = {
        {"a registered font Windows holds", "UnFntA", true, true},
        {"a registered font whose file is gone", "UnFntB", false, true},
        {"a font file without a registration", "UnFntC", true, false},
    };
    for (const TFamily& family : kFamilies) {
        SCOPED_TRACE(family.Name);
        std::unique_ptr<TWin9xProgram> win9x;
        if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
        TProduct product(UniqueName("App"), family.ExeName);
        TFontProbe probe(product.Root());
        const char* ownKey = family.Win9x ? kFontsKey9x : kFontsKeyNT;
        const char* otherKey = family.Win9x ? kFontsKeyNT : kFontsKey9x;
        std::vector<std::unique_ptr<TFontValue>> own, other;
        std::vector<std::string> files;
        std::string section = "[RegFonts]\r\n";
        for (const TRow& row : rows) {
            std::string name = UniqueName(row.Tag) + " (TrueType)";
            files.push_back(product.AppDir() + "\\" + row.Tag + ".ttf");
            ASSERT_TRUE(WriteRenamedFont(files.back(), row.Tag)) << "no " << kFontFile << " beside the test program";
            own.push_back(std::make_unique<TFontValue>(ownKey, name));
            other.push_back(std::make_unique<TFontValue>(otherKey, name));
            if (row.Registered) own.back()->Write(files.back());
            other.back()->Write(files.back());
            section += name + "=" + files.back() + "\r\n";
        }
        // As the installer did: the font is added to the running system.
        ASSERT_NE(AddFontResourceA(files[0].c_str()), 0);
        DeleteFileA(files[1].c_str());
        // The first font is one that a program started now finds (on the 9x
        // family through the value under the other key).
        ASSERT_EQ(probe.Find(std::string(rows[0].Tag) + " Sans"), 0u);
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog(section);

        EXPECT_EQ(product.Run("/s"), 0u);
        for (size_t i = 0; i < std::size(rows); ++i) {
            SCOPED_TRACE(rows[i].Name);
            EXPECT_FALSE(FileExists(files[i]));
            EXPECT_FALSE(own[i]->Exists());
            EXPECT_TRUE(other[i]->Exists());
        }
        // Removed again from the registration of the other family too: the
        // probe would load it from there.
        other.clear();
        EXPECT_EQ(probe.Find(std::string(rows[0].Tag) + " Sans"), 1u);
        RemoveFontResourceA(files[0].c_str());
        EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    }
}

// A font file in use stays until the restart, for which it is scheduled; its
// registration goes at once, and the silent run asks Windows to restart
// (the stand-in wineboot records the request instead of carrying out the
// pending operations).
TEST(FontsUninstallRestart, FontFileInUseGoesAtTheRestart) {
    const std::string wininit = WindowsFolder() + "\\wininit.ini";
    TSavedRegValue pending(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
    TSavedFile savedWininit(wininit), savedWininitBak(WindowsFolder() + "\\wininit.bak");
    for (const TFamily& family : kFamilies) {
        SCOPED_TRACE(family.Name);
        std::unique_ptr<TWin9xProgram> win9x;
        if (family.Win9x) win9x = std::make_unique<TWin9xProgram>(family.ExeName);
        if (pending.Get()) RegDeleteValueA(pending.Get(), kPendingValue);
        DeleteFileA(wininit.c_str());
        TProduct product(UniqueName("App"), family.ExeName);
        std::string file = product.AppDir() + "\\in use.ttf", name = UniqueName("UnFntD") + " (TrueType)";
        ASSERT_TRUE(WriteRenamedFont(file, "UnFntD"));
        TFontValue value(family.Win9x ? kFontsKey9x : kFontsKeyNT, name);
        value.Write(file);
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog("[RegFonts]\r\n" + name + "=" + file + "\r\n");
        {
            // DeleteFileA fails with a sharing violation on a file opened
            // without sharing.
            TFileHandle held(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
            ASSERT_TRUE(held.Valid());
            TStandInWineboot wineboot;
            ASSERT_TRUE(wineboot.Ready()) << "the stand-in wineboot did not answer";
            EXPECT_EQ(product.Run("/s"), 0u);
            std::string requests = wineboot.TakeRequests(10000);
            EXPECT_NE(requests.find("--end-session"), std::string::npos) << "no restart asked for: " << requests;
        }
        EXPECT_TRUE(FileExists(file));
        if (family.Win9x) {
            EXPECT_TRUE(HasLine(ReadFileBytes(wininit), "NUL=" + ShortPath(file))) << ReadFileBytes(wininit);
        } else {
            EXPECT_TRUE(IsPendingDeletion(file));
        }
        EXPECT_FALSE(value.Exists());
        EXPECT_FALSE(product.UninstallKeyExists(HKEY_CURRENT_USER));
    }
}

// The running programs hear of each removed font once, also when its file
// was already gone; an empty section sends nothing. Needs a top-level
// window, so a display (tests/CMakeLists.txt runs it under xvfb-run).
TEST(FontsUninstall, BroadcastsOneFontChangePerRemovedFont) {
    TBroadcastCounter counter(WM_FONTCHANGE);
    if (!counter.Ready()) GTEST_SKIP() << "no top-level window can be made here (no display)";
    struct TRow {
        const char* Name;
        int Fonts;
        int MissingFiles;
    } const rows[] = {
        {"two fonts", 2, 0},
        {"two fonts, one file already gone", 2, 1},
        {"empty section", 0, 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TProduct product;
        std::vector<std::unique_ptr<TFontValue>> values;
        std::string section = "[RegFonts]\r\n";
        for (int i = 0; i < row.Fonts; ++i) {
            std::string file = product.AppDir() + "\\font" + std::to_string(i) + ".ttf";
            if (i >= row.MissingFiles) {
                ASSERT_TRUE(WriteRenamedFont(file, "UnFntE"));
            }
            std::string name = UniqueName("UnFntE") + " (TrueType)";
            values.push_back(std::make_unique<TFontValue>(kFontsKeyNT, name));
            values.back()->Write(file);
            section += name + "=" + file + "\r\n";
        }
        product.RegisterUninstallKey(HKEY_CURRENT_USER);
        product.WriteLog(section);
        counter.Reset();
        EXPECT_EQ(RunAndWaitExit("\"" + product.Exe() + "\" /s", product.Root()), 0u);
        EXPECT_EQ(counter.Count(), row.Fonts);
    }
}

// --------------------------------------------------------- RemoveFonts itself

// Called in this process, where the font resource can be seen: a font whose
// file the shared-file processor kept (found by its path, letter case
// ignored) keeps its file, value and resource and shows no status; every
// entry is one step.
TEST(RemoveFontsRoutine, KeptSharedFilesStayAndEveryEntryIsAStep) {
    struct TRow {
        const char* Name;
        const char* Tag;
        bool Kept;
    } const rows[] = {
        {"kept shared file", "UnFntF", true},
        {"removed font", "UnFntG", false},
        {"another kept shared file", "UnFntH", true},
    };
    TTempDir dir;
    TUninstallState& s = UninstallState;
    s.Silent = true;
    s.SectionLines = std::make_unique<TStringList>();
    s.KeptSharedFiles = std::make_unique<TStringList>();
    s.RebootNeeded = false;
    s.StepsDone = 0;
    std::vector<std::string> files;
    std::vector<std::unique_ptr<TFontValue>> values;
    std::string section = "[RegFonts]\r\n";
    for (const TRow& row : rows) {
        files.push_back(dir / (std::string(row.Tag) + ".ttf"));
        ASSERT_TRUE(WriteRenamedFont(files.back(), row.Tag));
        ASSERT_NE(AddFontResourceA(files.back().c_str()), 0);
        std::string name = UniqueName(row.Tag) + " (TrueType)";
        values.push_back(std::make_unique<TFontValue>(kFontsKeyNT, name));
        values.back()->Write(files.back());
        section += name + "=" + files.back() + "\r\n";
        if (row.Kept) s.KeptSharedFiles->Add(AnsiUpperCase(files.back()) + "=1");
    }
    s.LogPath = dir / "install.log";
    WriteFileBytes(s.LogPath, "[Strings]\r\nAppID=Fonts\r\n17=Removing font %s\r\n" + section);

    RemoveFonts();
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].Name);
        EXPECT_EQ(FileExists(files[i]), rows[i].Kept);
        EXPECT_EQ(values[i]->Exists(), rows[i].Kept);
        // Still held only when kept: RemoveFontResourceA fails on a font
        // GDI does not hold.
        EXPECT_EQ(RemoveFontResourceA(files[i].c_str()) != 0, rows[i].Kept);
    }
    EXPECT_EQ(s.StepsDone, static_cast<int>(std::size(rows)));
    EXPECT_FALSE(s.RebootNeeded);
    s.SectionLines.reset();
    s.KeptSharedFiles.reset();
}
