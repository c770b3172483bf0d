#include "TestSupport.h"

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "zrRtl.h"

namespace {

const char kTestRoot[] = "C:\\uninstall-tests";

// Deletes a folder tree that lies below the test root; links are removed,
// never followed.
void DeleteTree(const std::string& folder) {
    if (folder.compare(0, sizeof kTestRoot - 1, kTestRoot) != 0 || folder.size() <= sizeof kTestRoot)
        return;
    WIN32_FIND_DATAA data;
    TFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteTree(path);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(path.c_str());
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find.Get(), &data));
    }
    find.Reset();
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

std::string UniqueName(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    return stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
           std::to_string(++counter);
}

TTempDir::TTempDir() {
    CreateDirectoryA(kTestRoot, nullptr);
    Folder = std::string(kTestRoot) + "\\" + UniqueName("t");
    if (!CreateDirectoryA(Folder.c_str(), nullptr)) throw std::runtime_error("cannot create " + Folder);
}

TTempDir::~TTempDir() { DeleteTree(Folder); }

TTempRegKey::TTempRegKey(const std::string& root) {
    RootKey = root == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    Sub = "Software\\UninstallTests\\" + UniqueName("k");
    FullPath = root + "\\" + Sub;
}

TTempRegKey::~TTempRegKey() { SHDeleteKeyA(RootKey, Sub.c_str()); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    TFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string ReadFileBytes(const std::string& path) {
    TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::string();
    std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

bool FileExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    TFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find) return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string WindowsFolder() {
    char buffer[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, n < MAX_PATH ? n : 0);
}

std::string SystemFolder() {
    char buffer[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, n < MAX_PATH ? n : 0);
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : path;
}

// The result of wine_get_unix_file_name lies in a buffer of the process heap.
std::string UnixPath(const std::string& windowsPath) {
    using TUnixName = char*(CDECL*)(const WCHAR*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    if (!proc) return std::string();
    auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void*>(proc));
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* name = unixName(wide.c_str());
    if (!name) return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

TSavedFile::TSavedFile(const std::string& path) : Path(path), Had(FileExists(path)), Data(ReadFileBytes(path)) {}

TSavedFile::~TSavedFile() {
    SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(Path.c_str());
    if (Had) WriteFileBytes(Path, Data);
}

TSavedRegValue::TSavedRegValue(HKEY root, const std::string& subKey, const std::string& name) : Name(name) {
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, Key.Put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    Had = RegQueryValueExA(Key.Get(), name.c_str(), nullptr, &Type, nullptr, &size) == ERROR_SUCCESS;
    Data.resize(size);
    if (Had && size > 0)
        Had = RegQueryValueExA(Key.Get(), name.c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(&Data[0]), &size) ==
              ERROR_SUCCESS;
}

TSavedRegValue::~TSavedRegValue() {
    if (!Key) return;
    if (Had)
        RegSetValueExA(Key.Get(), Name.c_str(), 0, Type, reinterpret_cast<const BYTE*>(Data.data()),
                       static_cast<DWORD>(Data.size()));
    else
        RegDeleteValueA(Key.Get(), Name.c_str());
}
