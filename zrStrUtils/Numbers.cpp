#include "zrStrUtils.h"

#include <cstdint>

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool TryStrToInt(const std::string& s, int& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    bool hasSign = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        hasSign = true;
        ++i;
    }
    if (i < s.size() && s[i] == '$') {
        if (hasSign) return false;  // no sign before a hexadecimal number
        ++i;
        if (i == s.size()) return false;
        std::uint64_t hex = 0;
        for (; i < s.size(); ++i) {
            int d = HexDigitValue(s[i]);
            if (d < 0) return false;
            hex = hex * 16 + static_cast<std::uint64_t>(d);
            if (hex > 0xFFFFFFFFu) return false;  // needs more than 32 bits
        }
        // 32 bits are taken as their pattern: $FFFFFFFF is -1.
        std::uint32_t pattern = static_cast<std::uint32_t>(hex);
        value = pattern > 0x7FFFFFFFu ? -static_cast<int>(~pattern) - 1 : static_cast<int>(pattern);
        return true;
    }
    if (i == s.size()) return false;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t dec = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        dec = dec * 10 + (s[i] - '0');
        if (dec > limit) return false;
    }
    value = static_cast<int>(negative ? -dec : dec);
    return true;
}

int StrToIntDef(const std::string& s, int def) {
    int value = def;
    return TryStrToInt(s, value) ? value : def;
}

std::string IntToHexText(int value, int digits) {
    static const char Hex[] = "0123456789ABCDEF";
    std::uint32_t pattern = static_cast<std::uint32_t>(value);
    std::string text;
    do {
        text.insert(text.begin(), Hex[pattern & 0xF]);
        pattern >>= 4;
    } while (pattern != 0);
    return StrPadLeft('0', text, digits);
}

int HexToIntDef(const std::string& s) {
    return StrToIntDef(s.find('$') == std::string::npos ? "$" + s : s, 0);
}

std::string IntToBaseStr(int value, int width, int base) {
    // A base outside 2..36 has no digits to write with (and 0 would divide by zero).
    if (value < 0 || base < 2 || base > 36) return std::string();
    static const char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string text;
    do {
        text.insert(text.begin(), Digits[value % base]);
        value /= base;
    } while (value != 0);
    return StrPadLeft('0', text, width);
}

unsigned long StrToDWordDef(const std::string& s, unsigned long def) {
    int value = 0;
    if (TryStrToInt(s, value)) return static_cast<std::uint32_t>(value);
    // The parser stops at 2147483647: a decimal text up to 4294967295 is read
    // as all but its last digit, then that digit. Only an unsigned decimal
    // head qualifies, and the sum must fit 32 bits: a negative or hexadecimal
    // head, or a number above 4294967295, would otherwise wrap to a wrong value.
    if (s.size() < 2) return def;
    std::string head = s.substr(0, s.size() - 1);
    int digit = 0;
    if (head.find('$') != std::string::npos || !TryStrToInt(head, value) || value < 0 ||
        !TryStrToInt(s.substr(s.size() - 1), digit))
        return def;
    std::uint64_t sum = static_cast<std::uint64_t>(value) * 10 + static_cast<std::uint64_t>(digit);
    return sum > 0xFFFFFFFFu ? def : static_cast<unsigned long>(sum);
}

std::string DWordToStr(unsigned long value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}
