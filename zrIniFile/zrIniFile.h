// zrIniFile: an INI file held in memory. Sections in file order, each a list
// of raw lines; the first section of a name and the first line of a key count.
#pragma once

#include <windows.h>

#include <string>

#include "zrRtl.h"

// ---------------------------------------------------------- SectionList.cpp
// The name comparison of this unit: equal when CompareStringA (user's default
// locale, NORM_IGNORECASE) reports the texts equal. Built once per lookup and
// used on many texts; texts made only of bytes that the locale was found to
// compare as plain ASCII (every letter equal to its other case, no byte
// ignored, no two such bytes equal) are answered by folding case, without the
// call. The name must outlive the matcher.
class TNameMatcher {
public:
    explicit TNameMatcher(const std::string& name);
    TNameMatcher(std::string&&) = delete;
    bool SameAs(const std::string& text) const;   // the whole texts
    bool IsKeyOf(const std::string& line) const;  // the line's text before its first "="
private:
    bool SameAsSlow(const char* text, size_t length) const;
    const std::string& Name;
    const unsigned char* Fold;  // per byte its case fold, 0 for bytes left to CompareStringA
    std::string Folded;         // Name folded
    bool Plain;                 // every byte of Name has a fold
};

// One entry per section: the text is the section name, the object its line
// list (a TStringList the entry owns).
class TSectionList : public TStringList {
public:
    TSectionList();
    // Lookup from LastFound on, wrapping around; -1 when missing.
    int IndexOf(const std::string& name) const override;
    TStringList* Lines(int index) const;  // nullptr for an index outside the list
    // Drops every section named like one above it; true when one went.
    bool RemoveDuplicates();

    mutable int LastFound = 0;
};

// -------------------------------------------------------------- IniFile.cpp
// Loads the file on construction; raises EInOutError "Cannot open file <path>"
// when it exists but cannot be opened. A writable object whose file existed
// holds it open (others may read, not write) until it goes or opens another.
class TzrIniFile : public TObject {
public:
    // All four load options on.
    TzrIniFile(const std::string& fileName, bool readOnly);
    // The caller owns the object.
    static TzrIniFile* Create(const std::string& fileName, bool readOnly);
    static TzrIniFile* CreateWithOptions(const std::string& fileName, bool readOnly, bool skipComments,
                                         bool skipLinesWithoutEquals, bool trimAroundEquals, bool stripQuotes);
    ~TzrIniFile() override;
    TzrIniFile(const TzrIniFile&) = delete;
    TzrIniFile& operator=(const TzrIniFile&) = delete;

    virtual std::string ReadString(const std::string& section, const std::string& key, const std::string& def);
    virtual void WriteString(const std::string& section, const std::string& key, const std::string& value);
    virtual int ReadInteger(const std::string& section, const std::string& key, int def);
    virtual void WriteInteger(const std::string& section, const std::string& key, int value);
    virtual bool ReadBool(const std::string& section, const std::string& key, bool def);
    virtual void WriteBool(const std::string& section, const std::string& key, bool value);
    virtual void ReadSection(const std::string& section, TStringList& list);
    virtual void ReadSections(TStringList& list);
    virtual void ReadSectionValues(const std::string& section, TStringList& list);
    virtual void WriteSectionValues(const std::string& section, const TStringList& list);
    virtual void EraseSection(const std::string& section);
    virtual void DeleteKey(const std::string& section, const std::string& key);
    virtual void GetStrings(TStringList& list);
    virtual void UpdateFile();

    void Open(const std::string& fileName);
    void LoadFromFile(const std::string& path);  // raises EInOutError "Cannot open file %s"
    void Clear();
    // Index of the key's line in the section's lines, -1; lines is the
    // section's line list or nullptr.
    int FindKey(const std::string& section, const std::string& key, bool createSection, TStringList*& lines);

    std::string FileName;
    TFileHandle FileHandle;
    bool Modified = false;
    TSectionList Sections;
    int LastSection = 0;
    bool ReadOnly;
    bool SkipComments;
    bool SkipLinesWithoutEquals;
    bool TrimAroundEquals;
    bool StripQuotes;

private:
    TzrIniFile(const std::string& fileName, bool readOnly, bool skipComments, bool skipLinesWithoutEquals,
               bool trimAroundEquals, bool stripQuotes);
};
