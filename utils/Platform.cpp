#include "utils.h"

// The platform id decides the family everywhere in the program: anything but
// VER_PLATFORM_WIN32_NT counts as the 9x family. A function-local static is
// initialised once, also when both threads ask at the same time.
bool IsWinNT() {
    static const bool winNT = [] {
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof info;
        return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    }();
    return winNT;
}
