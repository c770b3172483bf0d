#include "zrStrUtils.h"

#include "zrRtl.h"

namespace {

bool IsDelim(const TCharSet& delims, char c) { return delims.test(static_cast<unsigned char>(c)); }

// Index (0-based) of the first character of word n, npos when there is none.
// A word is a maximal run of non-delimiters; runs of delimiters give no empty word.
size_t FindWord(int n, const std::string& s, const TCharSet& delims) {
    if (n < 1) return std::string::npos;
    size_t i = 0;
    int count = 0;
    while (i < s.size()) {
        while (i < s.size() && IsDelim(delims, s[i])) ++i;
        if (i >= s.size()) break;
        if (++count == n) return i;
        while (i < s.size() && !IsDelim(delims, s[i])) ++i;
    }
    return std::string::npos;
}

// Applies one character to the quote state of GetField: " and ' open a quote
// outside one; inside, only the opening character closes it.
void TrackQuote(char c, char& openQuote) {
    if (c != '"' && c != '\'') return;
    if (openQuote == 0)
        openQuote = c;
    else if (openQuote == c)
        openQuote = 0;
}

}  // namespace

int CountWords(const std::string& s, const TCharSet& delims) {
    int count = 0;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsDelim(delims, s[i])) ++i;
        if (i >= s.size()) break;
        ++count;
        while (i < s.size() && !IsDelim(delims, s[i])) ++i;
    }
    return count;
}

int WordStart(int n, const std::string& s, const TCharSet& delims) {
    size_t at = FindWord(n, s, delims);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

std::string GetWord(int n, const std::string& s, const TCharSet& delims) {
    size_t at = FindWord(n, s, delims);
    if (at == std::string::npos) return std::string();
    size_t end = at;
    while (end < s.size() && !IsDelim(delims, s[end])) ++end;
    return s.substr(at, end - at);
}

bool HasWord(const std::string& w, const std::string& s, const TCharSet& delims, bool caseSensitive) {
    int count = CountWords(s, delims);
    for (int i = 1; i <= count; ++i) {
        std::string word = GetWord(i, s, delims);
        if ((caseSensitive ? AnsiCompareStr(word, w) : AnsiCompareText(word, w)) == 0) return true;
    }
    return false;
}

std::string GetField(int n, const std::string& s, const TCharSet& delims) {
    size_t p = 0;
    int field = 1;
    char openQuote = 0;
    while (p < s.size() && field < n) {
        TrackQuote(s[p], openQuote);
        if (openQuote == 0 && IsDelim(delims, s[p])) ++field;
        ++p;
    }
    // A field beyond the last one: the text ran out before reaching it.
    if (field < n) return std::string();

    std::string result;
    openQuote = 0;
    for (; p < s.size(); ++p) {
        TrackQuote(s[p], openQuote);
        if (openQuote == 0 && IsDelim(delims, s[p])) break;
        result += s[p];
    }
    return Unquote(result, '\'');
}

std::string Unquote(const std::string& s, char q) {
    if (s.empty() || s[0] != q) return s;
    std::string result;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] != q) {
            result += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == q) {
            result += q;  // a doubled quote stands for one
            ++i;
        } else {
            break;  // the closing quote; what follows is dropped
        }
    }
    return result;
}
