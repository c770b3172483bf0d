// zrFileFind: the entries of one folder that match a wildcard pattern and
// pass two attribute masks; "." and ".." are never returned.
#pragma once

#include <windows.h>

#include <string>

struct TSearchRecEx {
    DWORD Time = 0;         // last write, local time, DOS date (high) and time (low)
    DWORD Size = 0;         // low 32 bits of the size
    DWORD Attr = 0;         // dwFileAttributes
    std::string Path;       // folder part of the pattern, up to its last "\" or ":"
    std::string Name;
    std::string FullName;   // Path + Name
    DWORD IncludeAttr = 0;  // 63 lets every entry pass
    DWORD ExcludeAttr = 0;
    HANDLE FindHandle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA FindData{};
};

// ------------------------------------------------------------- FileFind.cpp
// 0 when an entry was found, else the Windows error code. On a non-zero
// result of FindFirstEx no search is left open.
DWORD FindFirstEx(const std::string& pattern, DWORD includeAttr, DWORD excludeAttr, TSearchRecEx& rec);
DWORD FindNextEx(TSearchRecEx& rec);
void FindCloseEx(TSearchRecEx& rec);  // leaves FindHandle INVALID_HANDLE_VALUE

// Closes the search of a record when the scope ends.
class TFindScope {
public:
    explicit TFindScope(TSearchRecEx& rec) : Rec(rec) {}
    ~TFindScope() { FindCloseEx(Rec); }
    TFindScope(const TFindScope&) = delete;
    TFindScope& operator=(const TFindScope&) = delete;
private:
    TSearchRecEx& Rec;
};
