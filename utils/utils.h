// utils: the general utility units: system queries and the message pump
// (later also message boxes, system actions and environment variables).
#pragma once

#include <windows.h>

#include <string>

// -------------------------------------------------------- SystemQueries.cpp
std::string ModulePath();        // full path of the running program
std::string WindowsDirectory();  // GetWindowsDirectoryA, no trailing zero
// LoadLibraryExA with critical-error boxes off and the FPU control word kept.
HMODULE LoadLibraryQuiet(const std::string& path, bool alteredSearchPath);
int StrToIntOrZero(const std::string& text);  // decimal or "$" hex; 0 when not a number

// ---------------------------------------------------------- MessagePump.cpp
// Dispatches every message waiting in this thread's queue, then sleeps 1 ms.
// A WM_QUIT ends it at once (taken from the queue, no sleep).
void PumpMessages();
