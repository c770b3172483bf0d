#include "zrRtl.h"

#include <algorithm>

TStringList::TStringList(bool ownsObjects) : OwnsObjects(ownsObjects) {}

TStringList::~TStringList() { Clear(); }

void TStringList::Put(int index, const std::string& text) { Items.at(index).Text = text; }

void TStringList::SetObject(int index, TObject* object) { Items.at(index).Object = object; }

int TStringList::Add(const std::string& text) { return AddObject(text, nullptr); }

int TStringList::AddObject(const std::string& text, TObject* object) {
    int index = Count();
    if (IsSorted) Find(text, index);
    InsertObject(index, text, object);
    return index;
}

void TStringList::Insert(int index, const std::string& text) { InsertObject(index, text, nullptr); }

void TStringList::InsertObject(int index, const std::string& text, TObject* object) {
    if (index < 0 || index > Count()) throw Exception("List index out of bounds (" + IntToStr(index) + ")");
    Items.insert(Items.begin() + index, TItem{text, object});
}

void TStringList::Delete(int index) {
    TObject* object = Extract(index);
    if (OwnsObjects) delete object;
}

TObject* TStringList::Extract(int index) {
    if (index < 0 || index >= Count()) throw Exception("List index out of bounds (" + IntToStr(index) + ")");
    TObject* object = Items[index].Object;
    Items.erase(Items.begin() + index);
    return object;
}

void TStringList::Clear() {
    std::vector<TItem> old;
    old.swap(Items);
    if (OwnsObjects)
        for (TItem& item : old) delete item.Object;
}

void TStringList::AddStrings(const TStringList& other) {
    if (&other == this) return;
    Items.reserve(Items.size() + other.Items.size());
    for (const TItem& item : other.Items) AddObject(item.Text, item.Object);
}

void TStringList::Assign(const TStringList& other) {
    if (&other == this) return;
    Clear();
    AddStrings(other);
}

void TStringList::Exchange(int a, int b) { std::swap(Items.at(a), Items.at(b)); }

int TStringList::Compare(const std::string& a, const std::string& b) const {
    return CaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

int TStringList::IndexOf(const std::string& text) const {
    if (IsSorted) {
        int index;
        return Find(text, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(Items[i].Text, text) == 0) return i;
    return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& s = Items[i].Text;
        size_t eq = s.find('=');
        if (eq != std::string::npos && Compare(s.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

std::string TStringList::Names(int index) const {
    const std::string& s = Items.at(index).Text;
    size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& s = Items.at(index).Text;
    size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(name + "=" + value);
    } else {
        Put(i, name + "=" + value);
    }
}

std::string TStringList::Text() const {
    size_t size = 0;
    for (const TItem& item : Items) size += item.Text.size() + 2;
    std::string r;
    r.reserve(size);
    for (const TItem& item : Items) {
        r += item.Text;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(const std::string& text) {
    BeginUpdate();
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            Add(text.substr(start));
            break;
        }
        Add(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    EndUpdate();
}

void TStringList::Sort() {
    std::stable_sort(Items.begin(), Items.end(),
                     [this](const TItem& a, const TItem& b) { return Compare(a.Text, b.Text) < 0; });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
    // Sort an index permutation, so the comparison sees the list as it stands.
    std::vector<int> order(Items.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
    std::vector<TItem> sorted;
    sorted.reserve(Items.size());
    for (int i : order) sorted.push_back(Items[i]);
    Items.swap(sorted);
    IsSorted = false;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !IsSorted) Sort();
    IsSorted = sorted;
}

bool TStringList::Find(const std::string& text, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = Compare(Items[mid].Text, text);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) found = true;  // keep going left: first of equal lines
        }
    }
    index = lo;
    return found;
}
