// Silent uninstall of a generated product against a plain program that
// deletes the same files and folders; prints figures, asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScenarioSupport.h"
#include "TestSupport.h"

namespace {

const int kFolders = 200;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Files spread over kFolders folders below base; returns the log sections.
std::string StageFiles(const std::string& base, int files, std::vector<std::string>& folders,
                       std::vector<std::string>& paths) {
    folders.clear();
    paths.clear();
    std::string copy = "[CopyFiles]\r\n", dirs = "[CreateDirs]\r\n" + base + "=\r\n";
    for (int f = 0; f < kFolders; ++f) {
        folders.push_back(base + "\\Folder" + std::to_string(f));
        CreateDirectoryA(folders.back().c_str(), nullptr);
        dirs += folders.back() + "=\r\n";
    }
    for (int i = 0; i < files; ++i) {
        paths.push_back(folders[i % kFolders] + "\\component-file-" + std::to_string(i) + ".dll");
        WriteFileBytes(paths.back(), "x");
        copy += paths.back() + "=1\r\n";
    }
    return copy + dirs;
}

void Measure(int files) {
    std::vector<std::string> folders, paths;
    LARGE_INTEGER t0, t1;

    TProduct product;
    std::string base = product.Root() + "\\Product";
    CreateDirectoryA(base.c_str(), nullptr);
    product.WriteLog(StageFiles(base, files, folders, paths));
    product.RegisterUninstallKey(HKEY_CURRENT_USER);
    QueryPerformanceCounter(&t0);
    DWORD code = product.Run("/s");
    QueryPerformanceCounter(&t1);
    double uninstall = Seconds(t0, t1);
    bool clean = GetFileAttributesA(base.c_str()) == INVALID_FILE_ATTRIBUTES;

    TTempDir plainDir;
    std::string plainBase = plainDir / "Product";
    CreateDirectoryA(plainBase.c_str(), nullptr);
    StageFiles(plainBase, files, folders, paths);
    QueryPerformanceCounter(&t0);
    for (const std::string& path : paths) DeleteFileA(path.c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryA(it->c_str());
    RemoveDirectoryA(plainBase.c_str());
    QueryPerformanceCounter(&t1);
    double plain = Seconds(t0, t1);

    std::printf("%6d files in %d folders: Uninstall.exe /s %.3f s (exit %lu, %s), plain deletion %.3f s, ratio %.2f\n",
                files, kFolders, uninstall, static_cast<unsigned long>(code), clean ? "all gone" : "LEFT OVERS",
                plain, plain > 0 ? uninstall / plain : 0.0);
}

}  // namespace

int main() {
    for (int files : {1000, 10000}) Measure(files);
    return 0;
}
