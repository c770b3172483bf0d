#include "zrStrUtils.h"

#include <windows.h>

TCharSet CharSet(const std::string& chars) {
    TCharSet set;
    for (char c : chars) set.set(static_cast<unsigned char>(c));
    return set;
}

std::string StrReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText) {
    if (oldText.empty()) return s;
    std::string result;
    size_t from = 0;
    for (size_t at = s.find(oldText); at != std::string::npos; at = s.find(oldText, from)) {
        result.append(s, from, at - from);
        result += newText;
        from = at + oldText.size();  // the text put in is not scanned again
    }
    result.append(s, from, std::string::npos);
    return result;
}

std::string StrRemoveChar(const std::string& s, char c) {
    std::string result;
    result.reserve(s.size());
    for (char ch : s)
        if (ch != c) result += ch;
    return result;
}

std::string StrRemoveSpaces(const std::string& s) { return StrRemoveChar(s, ' '); }

std::string StrPadLeft(char c, const std::string& s, int width) {
    if (width <= 0 || s.size() >= static_cast<size_t>(width)) return s;
    return std::string(static_cast<size_t>(width) - s.size(), c) + s;
}

std::string StrBeforeChar(const std::string& s, char c) {
    size_t at = s.find(c);
    return at == std::string::npos ? s : s.substr(0, at);
}

std::string StrAfterChar(const std::string& s, char c) {
    size_t at = s.find(c);
    return at == std::string::npos ? std::string() : s.substr(at + 1);
}

std::string NamePart(const std::string& line) { return StrBeforeChar(line, '='); }

std::string ValuePart(const std::string& line) { return StrAfterChar(line, '='); }

std::string StrToOem(const std::string& s) {
    std::string result = s;
    // CharToOemBuffA converts byte for byte into the caller's buffer; it keeps
    // the length, so the result has as many bytes as s.
    if (!result.empty()) CharToOemBuffA(s.data(), &result[0], static_cast<DWORD>(s.size()));
    return result;
}
