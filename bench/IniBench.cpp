// Times the INI file object on an install log of 100,000 lines (about 8 MB):
// (a) a bare pass of ReadFileLine until FileAtEnd, (b) loading the log into a
// read-only TzrIniFile, and (c) 10,000 ReadString calls for distinct keys of
// one 10,000-line section. Each is run a few times; the best time is printed.
// Prints figures only.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "zrFileUtils.h"
#include "zrIniFile.h"

namespace {

const int kRepeats = 5;
const int kStringLines = 10000;

double Seconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

template <typename TRun>
double Best(TRun run) {
    LONGLONG best = 0;
    for (int i = 0; i < kRepeats; ++i) {
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        run();
        QueryPerformanceCounter(&stop);
        const LONGLONG ticks = stop.QuadPart - start.QuadPart;
        if (i == 0 || ticks < best) best = ticks;
    }
    return Seconds(best);
}

std::string Number(int value, int width) {
    std::string s = std::to_string(value);
    return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

std::string StringKey(int i) { return "Msg" + Number(i, 5); }

// An install log as the installer writes it: texts, copied files with long
// paths, registry entries, folders and shortcuts, 100,000 lines in all.
std::string MakeLog() {
    const std::string app = "C:\\Program Files\\Example\\App 2024";
    std::string log;
    log.reserve(10 << 20);
    int lines = 0;
    auto line = [&](const std::string& text) {
        log += text;
        log += "\r\n";
        ++lines;
    };
    line("[Strings]");
    line("AppID={3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    for (int i = 2; i < kStringLines; ++i)
        line(StringKey(i) + "=Removing component " + std::to_string(i) + ", please wait...");
    line("");
    line("[CopyFiles]");
    for (int i = 0; lines < 75000; ++i)
        line(app + "\\Modules\\G" + Number(i / 100, 3) + "\\C" + Number(i % 100, 2) + "\\lib" + Number(i, 5) +
             ".dll=C:\\Backup\\lib" + Number(i, 5) + ".dll,1,0");
    line("");
    line("[AddReg]");
    for (int i = 0; lines < 95000; ++i)
        line("HKLM\\SOFTWARE\\Example\\App\\Group" + Number(i / 50, 3) + "\\Value" + Number(i, 5) +
             "=REG_SZ,\"setting " + std::to_string(i) + "\"");
    line("");
    line("[CreateFolders]");
    for (int i = 0; lines < 97500; ++i) line(app + "\\Data\\Folder" + Number(i, 4) + "=1");
    line("");
    line("[Shortcuts]");
    for (int i = 0; lines < 100000; ++i)
        line("C:\\Users\\Public\\Desktop\\Tool " + Number(i, 4) + ".lnk=" + app + "\\tool" + Number(i, 4) +
             ".exe");
    return log;
}

}  // namespace

int main() {
    char tempFolder[MAX_PATH];
    GetTempPathA(MAX_PATH, tempFolder);
    const std::string path =
        std::string(tempFolder) + "IniBench-" + std::to_string(GetCurrentProcessId()) + ".log";
    const std::string log = MakeLog();
    {
        TFileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            std::printf("cannot write %s\n", path.c_str());
            return 1;
        }
        DWORD written = 0;
        WriteFile(file.Get(), log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
    }
    std::printf("log: %s, %u bytes, 100000 lines\n", path.c_str(), static_cast<unsigned>(log.size()));

    int lineCount = 0;
    const double bare = Best([&] {
        TFileHandle file(OpenFileEx(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL));
        lineCount = 0;
        while (!FileAtEnd(file.Get())) {
            ReadFileLine(file.Get());
            ++lineCount;
        }
    });
    std::printf("(a) bare ReadFileLine pass:  %8.3f s  (%d lines)\n", bare, lineCount);

    int sections = 0;
    const double load = Best([&] {
        std::unique_ptr<TzrIniFile> ini(TzrIniFile::Create(path, true));
        sections = ini->Sections.Count();
    });
    std::printf("(b) TzrIniFile load:         %8.3f s  (%d sections)\n", load, sections);
    std::printf("    load / bare pass:        %8.2f\n", load / bare);

    std::unique_ptr<TzrIniFile> ini(TzrIniFile::Create(path, true));
    std::vector<std::string> keys;
    for (int i = 2; i < kStringLines; ++i) keys.push_back(StringKey(i));
    keys.push_back("AppID");
    keys.push_back("msg00001");  // no such line: a full scan
    std::shuffle(keys.begin(), keys.end(), std::mt19937(2024));
    size_t found = 0;
    const double reads = Best([&] {
        found = 0;
        for (const std::string& key : keys) found += ini->ReadString("Strings", key, "").size();
    });
    std::printf("(c) %u ReadString calls:   %8.3f s  (%.2f us each, %u bytes read)\n",
                static_cast<unsigned>(keys.size()), reads, reads * 1e6 / static_cast<double>(keys.size()),
                static_cast<unsigned>(found));

    // For scale: keys with a non-ASCII letter leave every comparison to
    // CompareStringA; 100 such calls, each a scan of the whole section.
    const double slow = Best([&] {
        for (int i = 0; i < 100; ++i) ini->ReadString("Strings", "Msg\xC4" + std::to_string(i), "");
    });
    std::printf("    100 ReadString calls through CompareStringA only: %8.3f s  (%.0f us each)\n", slow,
                slow * 1e4);

    ini.reset();
    DeleteFileA(path.c_str());
    return 0;
}
