// A DLL for the tests of LoadLibraryQuiet: while it loads it records the
// error mode it sees in the environment variable LOAD_PROBE_ERROR_MODE and
// changes both floating-point control words (rounding, precision, unmasked
// zero divide), as some run-times do in their start-up code.
#include <windows.h>

#include <float.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    SetEnvironmentVariableA("LOAD_PROBE_ERROR_MODE", std::to_string(mode).c_str());
    unsigned short x87 = 0x0C7B;  // round toward zero, 24-bit precision, zero divide unmasked
    __asm__ __volatile__("fldcw %0" : : "m"(x87));
    _control87(_RC_CHOP | _DN_FLUSH, _MCW_RC | _MCW_DN);
    _control87(0, _EM_ZERODIVIDE);
    return TRUE;
}
