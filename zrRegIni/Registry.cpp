#include "zrRegIni.h"

#include <vector>

#include "zrFileUtils.h"
#include "zrStrUtils.h"

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Opens the key of a registry path with RegOpenKeyExA; false when it cannot.
bool OpenKey(const std::string& path, REGSAM access, TKeyHandle& key) {
    std::string subKey;
    HKEY root = ParseRegistryPath(path, subKey);
    return RegOpenKeyExA(root, subKey.c_str(), 0, access, key.Put()) == ERROR_SUCCESS;
}

// The value's data, read with the size RegValueSize gives; false when either
// query fails.
bool ReadRegData(const std::string& path, const std::string& name, std::vector<BYTE>& data) {
    DWORD size = RegValueSize(path, name);
    data.assign(size, 0);
    // RegQueryValueExA wants a buffer even for an empty value.
    BYTE empty = 0;
    if (!ReadRegValue(path, name, size > 0 ? data.data() : &empty, size)) return false;
    data.resize(size);
    return true;
}

}  // namespace

HKEY ParseRegistryPath(const std::string& path, std::string& subKey) {
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    size_t slash = p.find('\\');
    std::string rootName = UpperAscii(p.substr(0, slash));
    HKEY root = nullptr;
    if (rootName == "HKCR")
        root = HKEY_CLASSES_ROOT;
    else if (rootName == "HKCU")
        root = HKEY_CURRENT_USER;
    else if (rootName == "HKLM")
        root = HKEY_LOCAL_MACHINE;
    else if (rootName == "HKU")
        root = HKEY_USERS;
    if (!root) {
        subKey = p;
        return HKEY_CURRENT_USER;
    }
    subKey = slash == std::string::npos ? std::string() : p.substr(slash + 1);
    return root;
}

DWORD RegValueType(const std::string& path, const std::string& name) {
    TKeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return 0;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return 0;
    return type;
}

DWORD RegValueSize(const std::string& path, const std::string& name) {
    TKeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return 0;
    return size;
}

bool ReadRegValue(const std::string& path, const std::string& name, void* buffer, DWORD& size) {
    TKeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return false;
    return RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, static_cast<BYTE*>(buffer), &size) ==
           ERROR_SUCCESS;
}

std::string ReadRegString(const std::string& path, const std::string& name, const std::string& def) {
    std::vector<BYTE> data;
    switch (RegValueType(path, name)) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        if (!ReadRegData(path, name, data)) return def;
        // Drop the terminating zero; a string stored without one (some
        // programs write it so) keeps its last character.
        if (!data.empty() && data.back() == 0) data.pop_back();
        return std::string(data.begin(), data.end());
    }
    case REG_DWORD:
        return DWordToStr(ReadRegDWord(path, name, StrToDWordDef(def, 0)));
    case REG_BINARY:
        return ReadRegBinaryHex(path, name, def);
    case REG_MULTI_SZ: {
        if (!ReadRegData(path, name, data)) return def;
        // The strings end with a zero each and the list with one more; drop
        // those two final zeros, where present, so a list stored without its
        // closing zero keeps its last string.
        for (int i = 0; i < 2 && !data.empty() && data.back() == 0; ++i) data.pop_back();
        std::string text(data.begin(), data.end());
        return StrReplaceAll(text, std::string(1, '\0'), "\r\n");
    }
    default:
        return def;
    }
}

DWORD ReadRegDWord(const std::string& path, const std::string& name, DWORD def) {
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD size = sizeof bytes;
    if (!ReadRegValue(path, name, bytes, size)) return def;
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
}

bool ReadRegBool(const std::string& path, const std::string& name, bool def) {
    return ReadRegDWord(path, name, def ? 1 : 0) == 1;
}

std::string ReadRegBinaryHex(const std::string& path, const std::string& name, const std::string& def) {
    TKeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return def;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return def;
    std::vector<BYTE> data(size > 0 ? size : 1);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return def;
    std::string text;
    text.reserve(size * 2);
    for (DWORD i = 0; i < size; ++i) text += IntToHexText(data[i], 2);
    return text;
}

void ReadRegSubKeys(const std::string& path, TStringList& list) {
    list.Clear();
    TKeyHandle key;
    if (!OpenKey(path, KEY_READ, key)) return;
    char name[1024];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        list.Add(std::string(name, length));
    }
}

bool WriteRegValue(const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) {
    std::string subKey;
    HKEY root = ParseRegistryPath(path, subKey);
    // RegCreateKeyA creates the key together with every missing parent.
    TKeyHandle key;
    if (RegCreateKeyA(root, subKey.c_str(), key.Put()) != ERROR_SUCCESS) return false;
    return RegSetValueExA(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool WriteRegString(const std::string& path, const std::string& name, const std::string& value) {
    return WriteRegValue(path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool WriteRegDWord(const std::string& path, const std::string& name, DWORD value) {
    return WriteRegValue(path, name, REG_DWORD, &value, sizeof value);
}

bool WriteRegBinary(const std::string& path, const std::string& name, const void* data, DWORD size) {
    return WriteRegValue(path, name, REG_BINARY, data, size);
}

bool WriteRegBinaryHex(const std::string& path, const std::string& name, const std::string& hexText) {
    std::string hex = StrRemoveSpaces(hexText);
    std::vector<BYTE> data(hex.size() / 2);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(HexToIntDef(hex.substr(2 * i, 2)));
    BYTE empty = 0;
    return WriteRegBinary(path, name, data.empty() ? &empty : data.data(), static_cast<DWORD>(data.size()));
}

bool WriteRegMultiString(const std::string& path, const std::string& name, const TStringList& list) {
    std::string text;
    for (int i = 0; i < list.Count(); ++i) text += list[i] + "\r\n";
    text = StrRemoveChar(text, '\n');
    // Each string ends with a zero, and the list with one more.
    text = StrReplaceAll(text, "\r", std::string(1, '\0'));
    text += '\0';
    return WriteRegValue(path, name, REG_MULTI_SZ, text.data(), static_cast<DWORD>(text.size()));
}

bool WriteRegMultiText(const std::string& path, const std::string& name, const std::string& text) {
    TStringList lines;
    lines.SetText(text);
    return WriteRegMultiString(path, name, lines);
}

bool WriteRegValueText(const std::string& path, const std::string& name, DWORD type, const std::string& text) {
    switch (type) {
    case REG_SZ:
        return WriteRegString(path, name, text);
    case REG_EXPAND_SZ:
        // Kept as REG_EXPAND_SZ: written as REG_SZ, a value such as
        // "%SystemRoot%\system32" would no longer be expanded by its readers.
        return WriteRegValue(path, name, REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    case REG_BINARY:
        return WriteRegBinaryHex(path, name, text);
    case REG_DWORD:
        return WriteRegDWord(path, name, StrToDWordDef(text, 0));
    case REG_MULTI_SZ:
        return WriteRegMultiText(path, name, text);
    default:
        return false;
    }
}

bool DeleteRegValue(const std::string& path, const std::string& name) {
    TKeyHandle key;
    if (!OpenKey(path, KEY_WRITE, key)) return false;
    return RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS;
}

bool DeleteRegKey(const std::string& path, bool withSubKeys) {
    std::string keyPath = RemoveBackslash(path);
    size_t split = keyPath.find_last_of("\\:");
    std::string keyName = split == std::string::npos ? keyPath : keyPath.substr(split + 1);
    std::string parent = split == std::string::npos ? std::string() : RemoveBackslash(keyPath.substr(0, split + 1));

    // A path that names a root key ("HKLM", "HKCU\") or ends in an empty key
    // name deletes nothing: its subkeys would otherwise all go, and
    // RegDeleteKeyA with an empty name deletes the parent key itself.
    std::string subKey;
    ParseRegistryPath(path, subKey);
    if (subKey.empty() || keyName.empty()) return false;

    if (withSubKeys) {
        TStringList subKeys;
        ReadRegSubKeys(path, subKeys);
        for (int i = 0; i < subKeys.Count(); ++i) DeleteRegKey(AddBackslash(path) + subKeys[i], true);
    }

    // RegDeleteKeyA refuses a key with subkeys on the NT family, and deletes
    // the whole tree on the 9x family.
    TKeyHandle parentKey;
    if (!OpenKey(parent, KEY_WRITE, parentKey)) return false;
    return RegDeleteKeyA(parentKey.Get(), keyName.c_str()) == ERROR_SUCCESS;
}
