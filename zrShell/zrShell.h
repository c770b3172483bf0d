// zrShell: starting programs and documents, the shell's special folders and
// (later) the folder browser. Routines are grouped by the file that owns them.
#pragma once

#include <windows.h>

#include <string>

// The shell folders SpecialFolder knows, in this order. The four all-users
// kinds at the end fall back to the user's folder of the same role.
enum class TSpecialFolder {
    DesktopDirectory,
    Fonts,
    NetHood,
    Personal,
    Programs,
    Recent,
    SendTo,
    StartMenu,
    Startup,
    Templates,
    CommonStartMenu,
    CommonPrograms,
    CommonStartup,
    CommonDesktopDirectory
};

// ------------------------------------------------------- ProgramLaunch.cpp
// Starts FileName and waits until its process has ended, pumping this
// thread's messages meanwhile. An existing .exe, .com, .bat, .pif or .lnk
// file is started with CreateProcessA; anything else goes to the shell's
// default action (ShellExecuteExA, error boxes owned by owner). ShowCmd is
// handed to the program unchanged; an empty directory keeps the current one.
// Result: the exit code; -1 when nothing was started or no process handle
// came back; 0 when the exit code cannot be read.
int RunAndWait(HWND owner, const std::string& fileName, const std::string& parameters,
               const std::string& directory, int showCmd);
// Path of a shell special folder (a CSIDL value); empty when the shell does
// not know it or it has no file-system path.
std::string SpecialFolderPath(int csidl);
std::string SpecialFolder(TSpecialFolder kind);
