#include "Uninstall.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

// Splits "key path\value name" at the last backslash outside quotes. Scanning
// from the end, " or ' opens a stretch that only the same character closes,
// so a value name in apostrophes may hold backslashes ('a\b'), with '' for
// one apostrophe. Without such a backslash the key path is empty (HKCU).
void SplitValuePath(const std::string& name, std::string& keyPath, std::string& valueName) {
    char openQuote = 0;
    size_t i = name.size();
    while (i > 0) {
        const char c = name[--i];
        if (openQuote != 0) {
            if (c == openQuote) openQuote = 0;
        } else if (c == '"' || c == '\'') {
            openQuote = c;
        } else if (c == '\\') {
            keyPath = name.substr(0, i);
            valueName = Unquote(name.substr(i + 1), '\'');
            return;
        }
    }
    keyPath.clear();
    valueName = Unquote(name, '\'');
}

// AddReg: each value gets back its type and data from before the
// installation, or goes when it did not exist (type 0). A value's key is
// left to CreateKeys.
void RestoreRegistryValues() {
    TStringList& lines = *UninstallState.SectionLines;
    LoadSection("AddReg");
    const TCharSet comma = CharSet(",");
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string name = NamePart(lines[i]);
        ShowStatus(MessageFormat(11, name));
        std::string keyPath, valueName;
        SplitValuePath(name, keyPath, valueName);
        const std::string value = ValuePart(lines[i]);
        const int type = StrToIntDef(GetField(1, value, comma), 0);
        if (type == 0) {
            DeleteRegValue(keyPath, valueName);
        } else {
            // "||" stands for a line break: between the strings of a
            // REG_MULTI_SZ, or inside a REG_SZ. The type goes through as it
            // is, so a REG_EXPAND_SZ comes back as REG_EXPAND_SZ; types
            // without a text form write nothing.
            const std::string data = StrReplaceAll(GetField(2, value, comma), "||", "\r\n");
            WriteRegValueText(keyPath, valueName, static_cast<DWORD>(type), data);
        }
        StepProgress();
    }
}

// CreateKeys: the keys the installer created, deepest first. A key sorts
// after every key that is a prefix of it, so walking the sorted list
// backwards takes each listed subkey before its parent. RegDeleteKeyA
// refuses a key that still has subkeys on NT (the product's or the user's
// own keys keep it and its parents); on 9x it deletes the whole tree.
void DeleteCreatedKeys() {
    TStringList& lines = *UninstallState.SectionLines;
    LoadSection("CreateKeys");
    if (lines.Count() == 0) return;
    for (int i = 0; i < lines.Count(); ++i) lines.Put(i, EntryKey(lines[i]));
    lines.Sort();
    for (int i = lines.Count() - 1; i >= 0; --i) {
        ShowStatus(MessageFormat(12, lines[i]));
        DeleteRegKey(lines[i], false);
        StepProgress();
    }
}

}  // namespace

void RemoveRegistryEntries() {
    RestoreRegistryValues();
    DeleteCreatedKeys();
}
