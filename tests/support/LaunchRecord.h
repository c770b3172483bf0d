// Reading what LaunchProbe.exe (tests/fixtures) recorded about its starts.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

// A program built beside this test program (LaunchProbe.exe...). Argument 0
// of our command line is used: under Wine without drive Z: it holds the
// "\\?\unix\..." form, which CopyFileA understands.
inline std::string BuiltTestProgram(const std::string& name) {
    std::string line = GetCommandLineA();
    std::string self = !line.empty() && line[0] == '"' ? line.substr(1, line.find('"', 1) - 1)
                                                       : line.substr(0, line.find(' '));
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

// One line of the record: "start" with how the probe was started, or "end".
struct TLaunchEvent {
    std::string Kind;
    std::string CommandLine;
    std::string Folder;
    std::string Show;  // the show command, "-" when none was given
};

inline std::vector<TLaunchEvent> ReadLaunchRecord(const std::string& path) {
    std::vector<TLaunchEvent> events;
    std::string text = ReadFileBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        for (size_t p = start;;) {
            size_t tab = text.find('\t', p);
            if (tab == std::string::npos || tab > end) tab = end;
            fields.push_back(text.substr(p, tab - p));
            if (tab == end) break;
            p = tab + 1;
        }
        fields.resize(4);
        events.push_back({fields[0], fields[1], fields[2], fields[3]});
        start = end + 2;
    }
    return events;
}

// Makes the probe record into path for as long as the object lives; the
// variable is inherited by every program started from here.
class TLaunchRecord {
public:
    explicit TLaunchRecord(std::string path) : Path(std::move(path)) {
        SetEnvironmentVariableA("UNINSTALL_TEST_LAUNCH_LOG", Path.c_str());
    }
    ~TLaunchRecord() { SetEnvironmentVariableA("UNINSTALL_TEST_LAUNCH_LOG", nullptr); }
    TLaunchRecord(const TLaunchRecord&) = delete;
    TLaunchRecord& operator=(const TLaunchRecord&) = delete;
    // The "start" events, in order.
    std::vector<TLaunchEvent> Starts() const {
        std::vector<TLaunchEvent> starts;
        for (const TLaunchEvent& e : ReadLaunchRecord(Path))
            if (e.Kind == "start") starts.push_back(e);
        return starts;
    }
    // The kinds of the events joined, e.g. "start end start end".
    std::string Sequence() const {
        std::string sequence;
        for (const TLaunchEvent& e : ReadLaunchRecord(Path)) sequence += (sequence.empty() ? "" : " ") + e.Kind;
        return sequence;
    }
    // Waits until the probe has written "end" count times; false on timeout.
    bool WaitForEnds(size_t count, DWORD timeoutMs = 20000) const {
        for (DWORD start = GetTickCount();; Sleep(50)) {
            size_t ends = 0;
            for (const TLaunchEvent& e : ReadLaunchRecord(Path)) ends += e.Kind == "end";
            if (ends >= count) return true;
            if (GetTickCount() - start > timeoutMs) return false;
        }
    }
    const std::string Path;
};

// Makes folder the current one for as long as the object lives. Under Wine
// the folder a test program starts in can be a Unix path that cannot be made
// current again; C:\ is taken then, so the scratch folder can be removed.
class TCurrentFolder {
public:
    explicit TCurrentFolder(const std::string& folder) {
        char previous[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof previous, previous);
        Previous = previous;
        SetCurrentDirectoryA(folder.c_str());
    }
    ~TCurrentFolder() {
        if (!SetCurrentDirectoryA(Previous.c_str())) SetCurrentDirectoryA("C:\\");
    }
    TCurrentFolder(const TCurrentFolder&) = delete;
    TCurrentFolder& operator=(const TCurrentFolder&) = delete;

private:
    std::string Previous;
};
