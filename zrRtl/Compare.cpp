#include "zrRtl.h"

namespace {

int CompareBytes(const std::string& a, const std::string& b) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareLocale(DWORD flags, const std::string& a, const std::string& b) {
    int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                           b.data(), static_cast<int>(b.size()));
    if (r != 0) return r - CSTR_EQUAL;
    // The call failed (it does not for valid arguments): compare the bytes.
    return (flags & NORM_IGNORECASE) ? CompareBytes(AnsiLowerCase(a), AnsiLowerCase(b)) : CompareBytes(a, b);
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

int AnsiCompareText(const std::string& a, const std::string& b) {
    return CompareLocale(NORM_IGNORECASE, a, b);
}

int AnsiCompareStr(const std::string& a, const std::string& b) {
    return CompareLocale(0, a, b);
}

bool SameText(const std::string& a, const std::string& b) { return AnsiCompareText(a, b) == 0; }

std::string AnsiUpperCase(const std::string& s) {
    std::string r = s;
    if (!r.empty()) CharUpperBuffA(&r[0], static_cast<DWORD>(r.size()));
    return r;
}

std::string AnsiLowerCase(const std::string& s) {
    std::string r = s;
    if (!r.empty()) CharLowerBuffA(&r[0], static_cast<DWORD>(r.size()));
    return r;
}

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsBlankOrControl(s[i])) ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && IsBlankOrControl(s[n - 1])) --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimRight(TrimLeft(s)); }

std::string IntToStr(long long value) { return std::to_string(value); }
