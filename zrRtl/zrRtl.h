// zrRtl: the small run-time library the program is built on.
// A string list whose lines carry an optional object, locale text comparison,
// "%s" formatting, exceptions that carry a message, and owning wrappers for
// every kind of Win32 handle the program opens.
#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------- Compare.cpp
// Locale comparisons of the user's default locale (CompareStringA), the way
// every name in the program is compared. Results are <0, 0 or >0.
int AnsiCompareText(const std::string& a, const std::string& b);  // letter case ignored
int AnsiCompareStr(const std::string& a, const std::string& b);   // letter case counts
bool SameText(const std::string& a, const std::string& b);        // AnsiCompareText == 0
std::string AnsiUpperCase(const std::string& s);                  // CharUpperBuffA
std::string AnsiLowerCase(const std::string& s);                  // CharLowerBuffA
std::string Trim(const std::string& s);       // drops leading and trailing chars <= ' '
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string IntToStr(long long value);

// ----------------------------------------------------------------- Format.cpp
// Exceptions. Exception carries a message; EInOutError is the input/output
// error a file operation raises ("Cannot open file %s"); EConvertError is
// raised by Format for a template it cannot fill.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, DWORD errorCode = 0)
        : Exception(message), ErrorCode(errorCode) {}
    DWORD ErrorCode;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Fills a template: each "%s" takes the next argument, "%%" is one percent
// sign. Any other specifier, or a "%s" without an argument left, raises
// EConvertError. Arguments left over are ignored. The template is never passed
// to printf, so a text from a log file cannot reach the C formatter.
std::string Format(const std::string& templ, const std::vector<std::string>& args);

// ------------------------------------------------------------- StringList.cpp
// Root of the objects a string list can carry.
class TObject {
public:
    virtual ~TObject() = default;
};

// An ordered list of strings, each with an optional object. A line's name is
// its text before the first "=", its value the text after it. Lookups ignore
// letter case and use the locale comparison (unless CaseSensitive is set).
// With OwnsObjects the list deletes the objects of the lines it removes.
class TStringList : public TObject {
public:
    explicit TStringList(bool ownsObjects = false);
    ~TStringList() override;
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& operator[](int index) const { return Items[index].Text; }
    const std::string& Get(int index) const { return Items[index].Text; }
    void Put(int index, const std::string& text);
    TObject* Objects(int index) const { return Items[index].Object; }
    void SetObject(int index, TObject* object);

    int Add(const std::string& text);
    int AddObject(const std::string& text, TObject* object);
    void Insert(int index, const std::string& text);
    void InsertObject(int index, const std::string& text, TObject* object);
    void Delete(int index);           // frees the line's object when owned
    TObject* Extract(int index);      // removes the line, hands its object over
    void Clear();
    void AddStrings(const TStringList& other);  // strings and object pointers
    void Assign(const TStringList& other);      // Clear, then AddStrings
    void Exchange(int a, int b);

    // Index of the first line equal to text (binary search when Sorted), -1.
    virtual int IndexOf(const std::string& text) const;
    // Index of the first line whose name equals name, -1.
    int IndexOfName(const std::string& name) const;
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    // Value of the first line named name; empty when there is none.
    std::string Values(const std::string& name) const;
    // Replaces the value of the first line named name, or appends name=value;
    // an empty value removes the line.
    void SetValue(const std::string& name, const std::string& value);

    // The lines joined, each followed by CR LF.
    std::string Text() const;
    // Replaces the content by the lines of text (split at CR LF, CR or LF).
    void SetText(const std::string& text);

    int Compare(const std::string& a, const std::string& b) const;
    void Sort();  // ascending, with Compare
    void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);
    bool Sorted() const { return IsSorted; }
    void SetSorted(bool sorted);
    // Binary search of a sorted list: true when found; index is where the
    // text is or would be inserted.
    bool Find(const std::string& text, int& index) const;

    void BeginUpdate() { ++UpdateCount; }
    void EndUpdate() { if (UpdateCount > 0) --UpdateCount; }
    bool Updating() const { return UpdateCount > 0; }

    bool OwnsObjects;
    bool CaseSensitive = false;

private:
    struct TItem {
        std::string Text;
        TObject* Object;
    };
    std::vector<TItem> Items;
    bool IsSorted = false;
    int UpdateCount = 0;
};

// ---------------------------------------------------------------- (header only)
// Owning wrappers for Win32 handles. Each knows its close call and its
// invalid value; a handle cannot leak on an early return or an exception.
template <typename Traits>
class TUniqueHandle {
public:
    using Type = typename Traits::Type;
    TUniqueHandle() noexcept : Handle(Traits::Invalid()) {}
    explicit TUniqueHandle(Type handle) noexcept : Handle(handle) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : Handle(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    ~TUniqueHandle() { Reset(); }

    Type Get() const noexcept { return Handle; }
    bool Valid() const noexcept { return Traits::IsValid(Handle); }
    explicit operator bool() const noexcept { return Valid(); }
    Type Release() noexcept {
        Type h = Handle;
        Handle = Traits::Invalid();
        return h;
    }
    void Reset(Type handle = Traits::Invalid()) noexcept {
        if (Traits::IsValid(Handle)) Traits::Close(Handle);
        Handle = handle;
    }
    // For calls that return a handle through an out argument.
    Type* Put() noexcept {
        Reset();
        return &Handle;
    }

private:
    Type Handle;
};

namespace HandleTraits {
// Files: CreateFileA gives INVALID_HANDLE_VALUE on failure; 0 is never valid.
struct File {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
// Kernel objects that give NULL on failure: events, threads, processes, tokens.
struct Kernel {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct Find {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) { FindClose(h); }
};
struct Key {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { RegCloseKey(h); }
};
struct Module {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};
struct GdiObject {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct MemoryDC {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DeleteDC(h); }
};
struct Hook {
    using Type = HHOOK;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { UnhookWindowsHookEx(h); }
};
struct Window {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DestroyWindow(h); }
};
}  // namespace HandleTraits

using TFileHandle = TUniqueHandle<HandleTraits::File>;
using TKernelHandle = TUniqueHandle<HandleTraits::Kernel>;
using TFindHandle = TUniqueHandle<HandleTraits::Find>;
using TKeyHandle = TUniqueHandle<HandleTraits::Key>;
using TModuleHandle = TUniqueHandle<HandleTraits::Module>;
using TGdiObject = TUniqueHandle<HandleTraits::GdiObject>;
using TMemoryDC = TUniqueHandle<HandleTraits::MemoryDC>;
using THookHandle = TUniqueHandle<HandleTraits::Hook>;
using TWindowHandle = TUniqueHandle<HandleTraits::Window>;

// A DC from GetDC, given back with ReleaseDC to its window.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : Window(window), DC(GetDC(window)) {}
    ~TWindowDC() { if (DC) ReleaseDC(Window, DC); }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return DC; }
private:
    HWND Window;
    HDC DC;
};

// Selects an object into a DC for the life of the scope.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : DC(dc), Previous(SelectObject(dc, object)) {}
    ~TSelectObject() { if (Previous) SelectObject(DC, Previous); }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;
private:
    HDC DC;
    HGDIOBJ Previous;
};
