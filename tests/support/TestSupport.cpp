#include "TestSupport.h"

#include <shlwapi.h>

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
