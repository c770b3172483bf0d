#include "zrFileFind.h"

namespace {

// Every attribute bit the masks know: read-only, hidden, system, volume
// label, folder, archive. An include mask of exactly this lets every entry
// pass, even one whose attribute word is FILE_ATTRIBUTE_NORMAL (128) alone.
const DWORD kAnyAttribute = 63;

// The folder part of a pattern: up to and including its last "\" or ":",
// empty when it has neither. CharNextA steps over whole characters, so the
// second byte of a double-byte character (which can be 0x5C) is no "\".
std::string FolderPart(const std::string& pattern) {
    size_t end = 0;
    const char* start = pattern.c_str();
    const char* stop = start + pattern.size();
    for (const char* p = start; p < stop;) {
        if (*p == '\\' || *p == ':') end = static_cast<size_t>(p - start) + 1;
        const char* next = CharNextA(p);
        p = next > p ? next : p + 1;  // CharNextA stays put on a zero byte
    }
    return pattern.substr(0, end);
}

bool Wanted(const TSearchRecEx& rec) {
    DWORD attr = rec.FindData.dwFileAttributes;
    if (rec.IncludeAttr != kAnyAttribute && (attr & rec.IncludeAttr) == 0) return false;
    if ((attr & rec.ExcludeAttr) != 0) return false;
    const char* name = rec.FindData.cFileName;
    return lstrcmpA(name, ".") != 0 && lstrcmpA(name, "..") != 0;
}

// Skips the entries the masks reject, starting with the one FindData holds;
// fills the record from the first one they accept.
DWORD MatchEntry(TSearchRecEx& rec) {
    while (!Wanted(rec)) {
        if (!FindNextFileA(rec.FindHandle, &rec.FindData)) return GetLastError();
    }
    FILETIME local;
    WORD dosDate = 0;
    WORD dosTime = 0;
    // Dates the FAT format cannot hold (before 1980) give Time 0.
    if (FileTimeToLocalFileTime(&rec.FindData.ftLastWriteTime, &local))
        FileTimeToDosDateTime(&local, &dosDate, &dosTime);
    rec.Time = static_cast<DWORD>(dosDate) << 16 | dosTime;
    rec.Size = rec.FindData.nFileSizeLow;
    rec.Attr = rec.FindData.dwFileAttributes;
    rec.Name = rec.FindData.cFileName;
    rec.FullName = rec.Path + rec.Name;
    return 0;
}

}  // namespace

DWORD FindFirstEx(const std::string& pattern, DWORD includeAttr, DWORD excludeAttr, TSearchRecEx& rec) {
    rec.IncludeAttr = includeAttr == 0 ? kAnyAttribute : includeAttr;
    rec.ExcludeAttr = excludeAttr;
    rec.Path = FolderPart(pattern);
    rec.FindHandle = FindFirstFileA(pattern.c_str(), &rec.FindData);
    if (rec.FindHandle == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD result = MatchEntry(rec);
    if (result != 0) FindCloseEx(rec);  // no search is left open on failure
    return result;
}

DWORD FindNextEx(TSearchRecEx& rec) {
    if (!FindNextFileA(rec.FindHandle, &rec.FindData)) return GetLastError();
    return MatchEntry(rec);
}

// The handle is reset so that a second close (FindCloseEx and then the end
// of a TFindScope) cannot close a handle number the system has reused.
void FindCloseEx(TSearchRecEx& rec) {
    if (rec.FindHandle == INVALID_HANDLE_VALUE) return;
    FindClose(rec.FindHandle);
    rec.FindHandle = INVALID_HANDLE_VALUE;
}
