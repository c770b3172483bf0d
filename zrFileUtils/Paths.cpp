#include "zrFileUtils.h"

#include "zrStrUtils.h"

namespace {

// In a double-byte code page (932, 936, 949, 950) the second byte of a
// character can be 0x5C, the byte of "\": a path ending in such a character
// does not end with a backslash. CharPrevA and CharNextA step over whole
// characters of the system code page.
bool EndsWithBackslash(const std::string& s) {
    if (s.empty()) return false;
    const char* start = s.c_str();
    return *CharPrevA(start, start + s.size()) == '\\';
}

// Byte index of the last "\" or ":" that is a character of its own, npos
// when there is none.
size_t LastPathDelimiter(const std::string& s) {
    size_t found = std::string::npos;
    const char* start = s.c_str();
    const char* end = start + s.size();
    for (const char* p = start; p < end;) {
        if (*p == '\\' || *p == ':') found = static_cast<size_t>(p - start);
        const char* next = CharNextA(p);
        p = next > p ? next : p + 1;  // CharNextA stays put on a zero byte
    }
    return found;
}

}  // namespace

std::string AddBackslash(const std::string& path) {
    std::string result = !path.empty() && path[0] == '"' ? Unquote(path, '"') : path;
    if (!result.empty() && !EndsWithBackslash(result)) result += '\\';
    return result;
}

std::string RemoveBackslash(const std::string& path) {
    return EndsWithBackslash(path) ? path.substr(0, path.size() - 1) : path;
}

bool DirExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Parents first, so the outermost missing folder is created first. A drive
// root ("C:" or "C:\") is at most 2 characters once its backslash is gone and
// is never created; a path whose parent is itself (it ends in "\\") stops
// the recursion.
void ForceFolders(const std::string& path) {
    if (path.empty()) return;
    std::string folder = RemoveBackslash(path);
    if (folder.size() <= 2 || DirExists(folder)) return;
    size_t delimiter = LastPathDelimiter(folder);
    std::string parent = delimiter == std::string::npos ? std::string() : folder.substr(0, delimiter + 1);
    if (parent == folder) return;
    ForceFolders(parent);
    CreateDirectoryA(folder.c_str(), nullptr);
}

std::string ShortPathName(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    if (length == 0) return path;
    if (length < sizeof buffer) return std::string(buffer);
    // GetShortPathNameA leaves the buffer untouched when the short form does
    // not fit and returns the size it needs: ask again with that size rather
    // than hand back an empty text.
    std::string longer(length, '\0');
    DWORD written = GetShortPathNameA(path.c_str(), &longer[0], length);
    if (written == 0 || written >= length) return path;
    longer.resize(written);
    return longer;
}

long long FileSizeByName(const std::string& fileName) {
    WIN32_FIND_DATAA data;
    TFindHandle find(FindFirstFileA(FullPathName(fileName).c_str(), &data));
    if (!find) return -1;
    return data.nFileSizeLow;
}

std::string FullPathName(const std::string& path) {
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::string full(needed, '\0');
    char* namePart = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), needed, &full[0], &namePart);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

std::string ExtractFilePath(const std::string& path) {
    size_t pos = path.find_last_of("\\:");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}
