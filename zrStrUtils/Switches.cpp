#include "zrStrUtils.h"

#include <windows.h>

#include <vector>

#include "zrRtl.h"

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Splits a command line as the run-time library does: blanks and control
// characters separate arguments; double-quoted text may hold blanks and loses
// its quotes; a "" pair before an argument is skipped like a blank.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    const size_t n = commandLine.size();
    size_t p = 0;
    for (;;) {
        for (;;) {
            while (p < n && IsSeparator(commandLine[p])) ++p;
            if (p + 1 < n && commandLine[p] == '"' && commandLine[p + 1] == '"')
                p += 2;
            else
                break;
        }
        if (p >= n) break;
        std::string arg;
        while (p < n && !IsSeparator(commandLine[p])) {
            if (commandLine[p] == '"') {
                ++p;
                while (p < n && commandLine[p] != '"') arg += commandLine[p++];
                if (p < n) ++p;  // the closing quote
            } else {
                arg += commandLine[p++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace

std::string ParamStr(const std::string& commandLine, int index) {
    std::vector<std::string> args = SplitCommandLine(commandLine);
    return index >= 0 && static_cast<size_t>(index) < args.size() ? args[static_cast<size_t>(index)] : std::string();
}

int ParamCount(const std::string& commandLine) {
    std::vector<std::string> args = SplitCommandLine(commandLine);
    return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}

bool FindSwitch(const std::string& name, const TCharSet& introducers, bool ignoreCase) {
    std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
    for (size_t i = 1; i < args.size(); ++i) {  // argument 0 is the program
        const std::string& arg = args[i];
        // Without introducers any first character is dropped; with them the
        // argument needs one of them and at least one character after it.
        if (!introducers.none() && (arg.size() < 2 || !introducers.test(static_cast<unsigned char>(arg[0]))))
            continue;
        // A lone quote at the end of the line gives an empty argument.
        std::string rest = arg.empty() ? arg : arg.substr(1);
        if ((ignoreCase ? AnsiCompareText(rest, name) : AnsiCompareStr(rest, name)) == 0) return true;
    }
    return false;
}

bool HasSwitch(const std::string& name) { return FindSwitch(name, CharSet("-/"), true); }
