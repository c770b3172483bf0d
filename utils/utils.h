// utils: the general utility units: system queries, the message pump, message
// boxes and window helpers, system actions, environment variables and platform.
#pragma once

#include <windows.h>

#include <string>

// -------------------------------------------------------- SystemQueries.cpp
std::string ModulePath();        // full path of the running program
std::string WindowsDirectory();  // GetWindowsDirectoryA, no trailing zero
// LoadLibraryExA with critical-error boxes off and the FPU control word kept.
HMODULE LoadLibraryQuiet(const std::string& path, bool alteredSearchPath);
int StrToIntOrZero(const std::string& text);
// An export looked up with GetProcAddress, as the function type T it has;
// nullptr when the module lacks it.
template <typename T>
T ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}  // decimal or "$" hex; 0 when not a number

// ---------------------------------------------------------- MessagePump.cpp
// Dispatches every message waiting in this thread's queue, then sleeps 1 ms.
// A WM_QUIT ends it at once (taken from the queue, no sleep).
void PumpMessages();

// --------------------------------------------------------- MessageBoxes.cpp
extern std::string AppTitle;  // caption of every error and warning box; "Error"/"Warning" when empty
extern UINT MessageBoxFlags;  // or-ed into the style of every box
extern HWND OwnerWindow;      // its last active popup owns the boxes and modal dialogs
void ShowErrorBox(const std::string& text);    // OK box with MB_ICONHAND
void ShowWarningBox(const std::string& text);  // OK box with MB_ICONEXCLAMATION
// MessageBoxA, task-modal, centred in the work area by a one-shot CBT hook.
int CenteredMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT flags);
void CenterInWorkArea(HWND window);  // moves only: size, z-order and activation stay
void ClampToScreen(RECT& rect);      // shifts rect into the primary screen, size kept
void ClampToArea(RECT& rect, int width, int height);  // the same for a screen of that size
RECT ControlRectInParent(HWND parent, HWND control);  // in the parent's client coordinates
void RedrawNow(HWND window);  // invalidates and repaints at once
int RectWidth(const RECT& rect);
int RectHeight(const RECT& rect);

// -------------------------------------------------------- SystemActions.cpp
// ExitWindowsEx; on the NT family SeShutdownPrivilege is enabled first for a
// shutdown, restart or power-off. True when ExitWindowsEx accepted.
bool ExitWindowsWithPrivilege(UINT flags);
bool RestartWindows(bool force);  // EWX_REBOOT, with EWX_FORCE when force
// Starts a hidden batch file beside the program's folder that deletes the
// program once it has ended, then its folder (when removeFolder and empty),
// then itself. EInOutError when the batch file cannot be written.
void DeleteSelf(bool removeFolder);
// The batch file of DeleteSelf. retries > 0: gives up after that many tries,
// about a second apart (NT family); 0: loops until the file is gone (9x).
void WriteSelfDeleteBatch(const std::string& path, const std::string& exe, const std::string& folder,
                          bool removeFolder, int retries);
extern const int SelfDeleteRetries;  // the bound DeleteSelf uses on the NT family

// ----------------------------------------------------------- ComServers.cpp
// Whether the file could be opened for reading; isPE: it is a PE image.
bool ProbePEFile(const std::string& fileName, bool& isPE);
// Whether the file could be loaded as a library; hasExport: it exports
// DllRegisterServer.
bool HasRegisterServer(const std::string& fileName, bool& hasExport);
// Calls DllUnregisterServer; for an ".exe" without it (or whose call fails),
// starts the program hidden as "path" /UNREGSERVER, not awaited. True when
// the call succeeded or the program was started.
bool UnregisterServer(const std::string& fileName);
// Unregisters the type library held in the file.
bool UnregisterTypeLibrary(const std::string& fileName);
// The COM server of a PE image that exports DllRegisterServer or is an
// ".exe", then the type library held in any file. True when either was
// unregistered; false at once when the server could not be.
bool UnregisterFile(const std::string& fileName);

// ------------------------------------------------------------- Platform.cpp
// True on the NT family (GetVersionExA reports VER_PLATFORM_WIN32_NT), false
// on the 9x family. Read once and kept for the whole run.
bool IsWinNT();

// -------------------------------------------------------------- EnvVars.cpp
// Persistent environment variables: on the NT family string values under
// "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
// (systemWide) or "HKCU\Environment"; on the 9x family SET lines of
// c:\autoexec.bat, read back from the program's own environment.
std::string ProcessEnvVar(const std::string& name);  // empty when missing or empty
std::string ReadEnvVar(const std::string& name, bool systemWide);
// Sets the variable, or deletes it when value is empty; false when name is
// empty or the write failed. NT family: a REG_EXPAND_SZ value stays one.
bool WriteEnvVar(const std::string& name, const std::string& value, bool systemWide);
// SetBatchFileVar on c:\autoexec.bat.
bool SetAutoexecVar(const std::string& name, const std::string& value);
// Rewrites a batch file with its "SET name=value" line replaced, appended
// when there is none, or removed when value is empty. False when name is
// empty, when there is no batch file (none is made) or when the new file
// could not take the old one's place (the old one then stays as it was). EInOutError when a file cannot be
// read or written.
bool SetBatchFileVar(const std::string& batchFile, const std::string& name, const std::string& value);
// Moves newFile to target. The old target is kept under a backup name in its
// folder until then, and put back when the move fails. True when newFile
// took target's place.
bool ReplaceFileKeepingOld(const std::string& newFile, const std::string& target);
