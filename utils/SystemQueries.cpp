#include "utils.h"

#include <float.h>

#include "zrStrUtils.h"

namespace {

// The largest path the system accepts, the limit of ModulePath's buffer.
const DWORD kLongestPath = 32768;

// The control-word fields restored after LoadLibraryExA. The 64-bit run-time
// knows neither precision nor infinity control (the x87 unit is not its
// floating-point unit there); asking for them is ignored or refused.
#if defined(__i386__)
const unsigned int kControlMask = _MCW_EM | _MCW_RC | _MCW_PC | _MCW_IC | _MCW_DN;
#else
const unsigned int kControlMask = _MCW_EM | _MCW_RC | _MCW_DN;
#endif

// _control87 of the 64-bit run-time reads and writes the SSE control word
// only, so the x87 control word is kept by hand on both widths.
unsigned short ReadX87ControlWord() {
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

void WriteX87ControlWord(unsigned short word) { __asm__ __volatile__("fldcw %0" : : "m"(word)); }

}  // namespace

std::string ModulePath() {
    // GetModuleFileNameA cuts a path that does not fit and then returns the
    // buffer size: retry with a larger buffer rather than return a truncated
    // path that may name another file.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size() || path.size() >= kLongestPath) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string WindowsDirectory() {
    // Without a buffer GetWindowsDirectoryA returns the size it needs,
    // terminating zero included; with one, the length without it.
    UINT size = GetWindowsDirectoryA(nullptr, 0);
    if (size == 0) return std::string();
    std::string folder(size, '\0');
    UINT length = GetWindowsDirectoryA(&folder[0], size);
    folder.resize(length < size ? length : 0);
    return folder;
}

// A DLL may change the floating-point control word while it loads (some
// run-times unmask exceptions or change rounding in their start-up code), and
// a missing file on removable media would show a critical-error box: neither
// may leak into the caller.
HMODULE LoadLibraryQuiet(const std::string& path, bool alteredSearchPath) {
    _clearfp();
    unsigned int savedControl = _control87(0, 0);
    unsigned short savedX87 = ReadX87ControlWord();
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE module =
        LoadLibraryExA(path.c_str(), nullptr, alteredSearchPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    SetErrorMode(previousMode);
    // Exceptions the DLL left pending would fire on the next floating-point
    // instruction once they are unmasked again.
    _clearfp();
    WriteX87ControlWord(savedX87);
    _control87(savedControl, kControlMask);
    return module;
}

int StrToIntOrZero(const std::string& text) { return StrToIntDef(text, 0); }
