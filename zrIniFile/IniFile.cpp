#include "zrIniFile.h"

#include <memory>
#include <vector>

#include "utils.h"
#include "zrFileUtils.h"
#include "zrStrUtils.h"

namespace {

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The text of a line before its first "=" (empty when it has none), and after it.
std::string KeyOf(const std::string& line) {
    const size_t equals = line.find('=');
    return equals == std::string::npos ? std::string() : line.substr(0, equals);
}

std::string ValueOf(const std::string& line) {
    const size_t equals = line.find('=');
    return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder part of a path: up to and with its last "\" or ":".
std::string FolderOf(const std::string& path) {
    const size_t last = path.find_last_of("\\:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

}  // namespace

TzrIniFile::TzrIniFile(const std::string& fileName, bool readOnly)
    : TzrIniFile(fileName, readOnly, true, true, true, true) {}

TzrIniFile::TzrIniFile(const std::string& fileName, bool readOnly, bool skipComments, bool skipLinesWithoutEquals,
                       bool trimAroundEquals, bool stripQuotes)
    : ReadOnly(readOnly),
      SkipComments(skipComments),
      SkipLinesWithoutEquals(skipLinesWithoutEquals),
      TrimAroundEquals(trimAroundEquals),
      StripQuotes(stripQuotes) {
    Open(fileName);
}

TzrIniFile* TzrIniFile::Create(const std::string& fileName, bool readOnly) {
    return new TzrIniFile(fileName, readOnly);
}

TzrIniFile* TzrIniFile::CreateWithOptions(const std::string& fileName, bool readOnly, bool skipComments,
                                          bool skipLinesWithoutEquals, bool trimAroundEquals, bool stripQuotes) {
    return new TzrIniFile(fileName, readOnly, skipComments, skipLinesWithoutEquals, trimAroundEquals, stripQuotes);
}

TzrIniFile::~TzrIniFile() {
    // A write-back that fails is not reported anywhere; nothing may leave a destructor.
    try {
        UpdateFile();
    } catch (...) {
    }
    CloseFileHandle(FileHandle);
    Clear();
}

void TzrIniFile::Open(const std::string& fileName) {
    UpdateFile();
    CloseFileHandle(FileHandle);
    Clear();
    FileName = fileName;
    // A bare name lies in the Windows directory. An empty name stays empty, so
    // that such an object neither loads nor writes anything.
    if (!fileName.empty() && fileName.find_first_of("\\:") == std::string::npos)
        FileName = AddBackslash(WindowsDirectory()) + fileName;
    if (!fileName.empty()) LoadFromFile(FileName);
    Modified = false;
}

void TzrIniFile::LoadFromFile(const std::string& path) {
    LastSection = 0;
    CloseFileHandle(FileHandle);
    if (!IsFile(path)) return;

    // A writable object keeps the file open with read sharing only, so no
    // other writer can change it under us; a read-only one lets others write.
    const HANDLE opened =
        ReadOnly ? OpenFileEx(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL)
                 : OpenFileEx(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    const DWORD error = GetLastError();
    FileHandle.Reset(opened);
    if (!FileHandle) throw EInOutError("Cannot open file " + path, error);

    const HANDLE file = FileHandle.Get();
    TStringList* current = nullptr;  // lines before the first header are dropped
    std::string text;                // the line as stored; reused, so it allocates only when it grows
    while (!FileAtEnd(file)) {
        const std::string line = ReadFileLine(file);
        // The end-of-file mark (26), blanks and control characters at either
        // end all go with the trimming.
        size_t begin = 0;
        size_t end = line.size();
        while (begin < end && IsBlankOrControl(line[begin])) ++begin;
        while (end > begin && IsBlankOrControl(line[end - 1])) --end;
        if (begin == end) continue;
        if (SkipComments && line[begin] == ';') continue;

        if (line[begin] == '[' && line[end - 1] == ']' && end - begin >= 2) {
            auto lines = std::make_unique<TStringList>();
            Sections.AddObject(line.substr(begin + 1, end - begin - 2), lines.get());
            current = lines.release();
            continue;
        }

        const size_t equals = line.find('=', begin);  // before end: trimmed bytes are <= ' '
        size_t keyEnd = equals;
        size_t valueBegin = equals + 1;
        size_t valueEnd = end;
        if (equals == std::string::npos) {
            if (SkipLinesWithoutEquals) continue;
            keyEnd = valueBegin = valueEnd = end;
        } else {
            // Only the first "=" counts, and only when something stands before it.
            if (TrimAroundEquals && equals > begin) {
                while (keyEnd > begin && IsBlankOrTab(line[keyEnd - 1])) --keyEnd;
                while (valueBegin < valueEnd && IsBlankOrTab(line[valueBegin])) ++valueBegin;
            }
            if (StripQuotes && keyEnd > begin && valueEnd - valueBegin >= 2) {
                const char quote = line[valueBegin];
                if ((quote == '"' || quote == '\'') && line[valueEnd - 1] == quote) {
                    ++valueBegin;
                    --valueEnd;
                }
            }
        }
        if (!current) continue;
        text.assign(line, begin, keyEnd - begin);
        if (equals != std::string::npos) {
            text += '=';
            text.append(line, valueBegin, valueEnd - valueBegin);
        }
        current->Add(text);
    }

    Sections.RemoveDuplicates();
    if (ReadOnly) CloseFileHandle(FileHandle);
}

void TzrIniFile::Clear() { Sections.Clear(); }

int TzrIniFile::FindKey(const std::string& section, const std::string& key, bool createSection,
                        TStringList*& lines) {
    lines = nullptr;
    const int count = Sections.Count();
    int found = -1;
    if (count > 0) {
        if (LastSection < 0 || LastSection >= count) LastSection = 0;
        const TNameMatcher matcher(section);
        // LastSection ends on the entry found, or on the last one compared.
        for (int visited = 0; visited < count; ++visited) {
            if (matcher.SameAs(Sections[LastSection])) {
                found = LastSection;
                break;
            }
            if (visited + 1 < count) LastSection = LastSection + 1 == count ? 0 : LastSection + 1;
        }
    }
    if (found >= 0) {
        lines = Sections.Lines(found);
        if (!lines) {  // an entry added from outside without a list
            auto created = std::make_unique<TStringList>();
            Sections.SetObject(found, created.get());
            lines = created.release();
        }
        const TNameMatcher matcher(key);
        const int lineCount = lines->Count();
        for (int i = 0; i < lineCount; ++i)
            if (matcher.IsKeyOf(lines->Get(i))) return i;
        return -1;
    }
    if (createSection) {
        auto created = std::make_unique<TStringList>();
        LastSection = Sections.AddObject(section, created.get());
        lines = created.release();
    }
    return -1;
}

std::string TzrIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) {
    TStringList* lines;
    const int index = FindKey(section, key, false, lines);
    return index < 0 ? def : ValueOf(lines->Get(index));
}

void TzrIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (key.empty()) {
        if (section.empty() && value.empty())
            UpdateFile();
        else
            EraseSection(section);
        return;
    }
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line += key;
    line += '=';
    line += value;
    TStringList* lines;
    const int index = FindKey(section, key, true, lines);
    if (index < 0) {
        lines->Add(line);
        Modified = true;
    } else if (lines->Get(index) != line) {  // bytes, so a change of letter case counts
        lines->Put(index, line);
        Modified = true;
    }
}

int TzrIniFile::ReadInteger(const std::string& section, const std::string& key, int def) {
    std::string text = ReadString(section, key, "");
    // "0x" in either case is the C notation of "$". The whole rest is kept:
    // cutting it short could drop digits and give another number.
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    int value = def;
    return TryStrToInt(text, value) ? value : def;
}

void TzrIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, IntToStr(value));
}

bool TzrIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TzrIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TzrIniFile::ReadSection(const std::string& section, TStringList& list) {
    const TStringList* lines = Sections.Lines(Sections.IndexOf(section));
    if (!lines) return;
    const int count = lines->Count();  // fixed, should the list be the section's own
    for (int i = 0; i < count; ++i) list.Add(KeyOf(lines->Get(i)));
}

void TzrIniFile::ReadSections(TStringList& list) {
    if (&list == &Sections) return;
    list.Clear();
    for (int i = 0; i < Sections.Count(); ++i) list.Add(Sections[i]);
}

void TzrIniFile::ReadSectionValues(const std::string& section, TStringList& list) {
    const TStringList* lines = Sections.Lines(Sections.IndexOf(section));
    if (!lines) return;
    // The section's lines, then the list's own lines whose key is not yet there.
    TStringList result;
    result.AddStrings(*lines);
    const int previous = list.Count();
    std::vector<bool> kept(previous, false);
    for (int i = 0; i < previous; ++i) {
        const std::string key = list.Names(i);
        const TNameMatcher matcher(key);
        bool present = false;
        for (int j = 0; j < result.Count() && !present; ++j) present = matcher.IsKeyOf(result[j]);
        if (present) continue;
        result.AddObject(list[i], list.Objects(i));
        kept[i] = true;
    }
    // A list that owns its objects frees those of the lines it loses and
    // keeps those of the lines it keeps.
    const bool owns = list.OwnsObjects;
    if (owns)
        for (int i = 0; i < previous; ++i)
            if (!kept[i]) {
                delete list.Objects(i);
                list.SetObject(i, nullptr);
            }
    list.OwnsObjects = false;
    list.Clear();
    list.AddStrings(result);
    list.OwnsObjects = owns;
}

void TzrIniFile::WriteSectionValues(const std::string& section, const TStringList& list) {
    // A copy: an erase on the way may free the list, should it be a section's own.
    std::vector<std::string> lines;
    lines.reserve(list.Count());
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            WriteString(section, line, "");
        else
            WriteString(section, line.substr(0, equals), line.substr(equals + 1));
    }
}

void TzrIniFile::EraseSection(const std::string& section) {
    const int index = Sections.IndexOf(section);
    if (index < 0) return;
    Sections.Delete(index);  // frees the line list
    Sections.LastFound = 0;
    Modified = true;
}

void TzrIniFile::DeleteKey(const std::string& section, const std::string& key) {
    TStringList* lines;
    const int index = FindKey(section, key, true, lines);
    if (index < 0) return;
    lines->Delete(index);
    Modified = true;
}

void TzrIniFile::GetStrings(TStringList& list) {
    const int count = Sections.Count();
    for (int i = 0; i < count; ++i) {
        const TStringList* lines = Sections.Lines(i);
        if (!lines || lines->Count() == 0) continue;
        const int lineCount = lines->Count();
        list.Add("[" + Sections[i] + "]");
        for (int j = 0; j < lineCount; ++j) list.Add(lines->Get(j));
        list.Add("");
    }
}

void TzrIniFile::UpdateFile() {
    if (!Modified) return;
    if (!FileName.empty() && !ReadOnly) {
        if (!FileHandle) {
            ForceFolders(FolderOf(FileName));
            FileHandle.Reset(OpenFileEx(FileName, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL));
        }
        if (FileHandle) {
            // Rewritten in place through the handle held, then cut to the new length.
            const HANDLE file = FileHandle.Get();
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            for (int i = 0; i < Sections.Count(); ++i) {
                const TStringList* lines = Sections.Lines(i);
                if (!lines || lines->Count() == 0) continue;
                WriteFileLine(file, "[" + Sections[i] + "]");
                for (int j = 0; j < lines->Count(); ++j) WriteFileLine(file, lines->Get(j));
                WriteFileLine(file, "");
            }
            SetEndOfFile(file);
        }
    }
    Modified = false;
}
