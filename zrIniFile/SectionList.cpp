#include "zrIniFile.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

bool LocaleSame(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

struct TFoldTable {
    unsigned char Fold[256] = {};
};

// Which printable ASCII bytes may be compared by folding case instead of
// asking CompareStringA. The answer depends on the user's locale, so it is
// asked of CompareStringA itself, once: a byte qualifies when it equals its
// other case, is not ignored (CompareStringA skips some characters, such as
// the soft hyphen, entirely), and equals no other qualifying byte. Two-letter
// pairs are tried in every case mix, since a locale's letter pairs (contractions)
// may hold only in some cases. Hungarian sorting takes doubled digraphs as
// equal to their long form ("ccs" and "cscs"), which no byte test shows; there
// every comparison goes to CompareStringA.
TFoldTable BuildFoldTable() {
    TFoldTable table;
    if (PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())) == LANG_HUNGARIAN) return table;

    auto upper = [](int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    auto lower = [](int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    bool ok[256] = {};
    for (int c = 0x20; c <= 0x7E; ++c) ok[c] = true;
    auto reject = [&](int c) { ok[upper(c)] = ok[lower(c)] = false; };
    auto text = [](std::initializer_list<int> chars) {
        std::string s;
        for (int c : chars) s += static_cast<char>(c);
        return s;
    };

    for (int c = 0x20; c <= 0x7E; ++c) {
        if (!LocaleSame(text({c}), text({upper(c)})) || !LocaleSame(text({c}), text({lower(c)}))) reject(c);
        if (LocaleSame(text({c}), "") || LocaleSame(text({'a', c, 'a'}), "aa")) reject(c);
    }
    for (int x = 'a'; x <= 'z'; ++x)
        for (int y = 'a'; y <= 'z'; ++y) {
            const std::string base = text({x, y});
            if (!LocaleSame(base, text({x, upper(y)})) || !LocaleSame(base, text({upper(x), y})) ||
                !LocaleSame(base, text({upper(x), upper(y)}))) {
                reject(x);
                reject(y);
            }
        }
    for (int a = 0x20; a <= 0x7E; ++a)
        for (int b = a + 1; b <= 0x7E; ++b)
            if (upper(a) != upper(b) && ok[a] && ok[b] && LocaleSame(text({a}), text({b}))) {
                reject(a);
                reject(b);
            }
    for (int c = 0x20; c <= 0x7E; ++c)
        if (ok[c]) table.Fold[c] = static_cast<unsigned char>(upper(c));
    return table;
}

const unsigned char* FoldTable() {
    static const TFoldTable table = BuildFoldTable();
    return table.Fold;
}

// The folded form of s into folded; false when a byte of s has no fold.
bool FoldText(const std::string& s, std::string& folded) {
    const unsigned char* fold = FoldTable();
    folded.resize(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char f = fold[static_cast<unsigned char>(s[i])];
        if (f == 0) return false;
        folded[i] = static_cast<char>(f);
    }
    return true;
}

}  // namespace

TNameMatcher::TNameMatcher(const std::string& name) : Name(name), Fold(FoldTable()) {
    Plain = FoldText(name, Folded);
}

bool TNameMatcher::SameAsSlow(const char* text, size_t length) const {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, Name.data(), static_cast<int>(Name.size()),
                                 text, static_cast<int>(length));
    if (r != 0) return r == CSTR_EQUAL;
    return AnsiCompareText(Name, std::string(text, length)) == 0;
}

bool TNameMatcher::SameAs(const std::string& text) const {
    if (!Plain) return SameAsSlow(text.data(), text.size());
    bool same = text.size() == Folded.size();
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char f = Fold[static_cast<unsigned char>(text[i])];
        if (f == 0) return SameAsSlow(text.data(), text.size());
        if (same && f != static_cast<unsigned char>(Folded[i])) same = false;
    }
    return same;
}

bool TNameMatcher::IsKeyOf(const std::string& line) const {
    auto slow = [&] {
        const size_t equals = line.find('=');
        return equals != std::string::npos && SameAsSlow(line.data(), equals);
    };
    if (!Plain) return slow();
    // The key must fold throughout for the folded answer to hold: after a
    // mismatch the rest of the key is still scanned, for bytes without a fold.
    const size_t length = line.size();
    const size_t n = Folded.size();
    const size_t common = n < length ? n : length;
    bool same = true;
    size_t i = 0;
    for (; i < common; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '=') {  // the key is shorter than the name
            same = false;
            break;
        }
        const unsigned char f = Fold[c];
        if (f == 0) return slow();
        if (f != static_cast<unsigned char>(Folded[i])) {
            same = false;
            break;
        }
    }
    for (; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '=') break;
        if (Fold[c] == 0) return slow();
    }
    if (i == length) return false;  // no "=": the line has no key
    return same && i == n;
}

TSectionList::TSectionList() : TStringList(true) {}

int TSectionList::IndexOf(const std::string& name) const {
    const int count = Count();
    if (count == 0) return -1;
    const int start = LastFound >= 0 && LastFound < count ? LastFound : 0;
    const TNameMatcher matcher(name);
    int i = start;
    for (int visited = 0; visited < count; ++visited) {
        if (matcher.SameAs(Get(i))) {
            LastFound = i;
            return i;
        }
        i = i + 1 == count ? 0 : i + 1;
    }
    return -1;
}

TStringList* TSectionList::Lines(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return static_cast<TStringList*>(Objects(index));
}

bool TSectionList::RemoveDuplicates() {
    const int count = Count();
    if (count < 2) return false;

    // The names tagged with their index, sorted so that equal names are
    // adjacent. When every name folds, the folded texts sort the same groups
    // as CompareStringA and cost no call; otherwise CompareStringA orders all.
    struct TTagged {
        std::string Folded;
        int Index;
    };
    std::vector<TTagged> tagged(count);
    bool allFold = true;
    for (int i = 0; i < count; ++i) {
        tagged[i].Index = i;
        if (allFold && !FoldText(Get(i), tagged[i].Folded)) allFold = false;
    }
    // stable_sort never reads outside the range, even should a locale's
    // comparison not be a strict order.
    if (allFold)
        std::stable_sort(tagged.begin(), tagged.end(),
                         [](const TTagged& a, const TTagged& b) { return a.Folded < b.Folded; });
    else
        std::stable_sort(tagged.begin(), tagged.end(), [this](const TTagged& a, const TTagged& b) {
            return AnsiCompareText(Get(a.Index), Get(b.Index)) < 0;
        });

    // Of each group the entry highest in the list survives.
    std::vector<bool> discard(count, false);
    bool any = false;
    int kept = tagged[0].Index;
    for (int k = 1; k < count; ++k) {
        const int current = tagged[k].Index;
        if (!TNameMatcher(Get(kept)).SameAs(Get(current))) {
            kept = current;
            continue;
        }
        any = true;
        if (current > kept) {
            discard[current] = true;
        } else {
            discard[kept] = true;
            kept = current;
        }
    }
    // From the bottom, so the indexes still to visit stay valid; Delete frees
    // the line list.
    for (int i = count - 1; i >= 0; --i)
        if (discard[i]) Delete(i);
    return any;
}
