// zrFileUtils: line access on open file handles, path routines, and (later)
// the file operations and deferred actions of the uninstall run.
#pragma once

#include <windows.h>

#include <string>

#include "zrRtl.h"

// ------------------------------------------------------------ FileLines.cpp
// CreateFileA with no security attributes and no template;
// INVALID_HANDLE_VALUE on failure. The caller owns the handle.
HANDLE OpenFileEx(const std::string& fileName, DWORD access, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes);
void CloseFileHandle(TFileHandle& handle);  // closes and leaves it empty
DWORD FilePosition(HANDLE handle);
bool FileAtEnd(HANDLE handle);
// The next line: bytes up to the next CR (consumed), every LF dropped. A
// failed read ends the line and moves to the end of the file.
std::string ReadFileLine(HANDLE handle);
void WriteFileLine(HANDLE handle, const std::string& text);  // text + CR LF

// ---------------------------------------------------------------- Paths.cpp
std::string AddBackslash(const std::string& path);     // unquotes, then ensures a final "\"
std::string RemoveBackslash(const std::string& path);  // drops one final "\"
bool DirExists(const std::string& path);
void ForceFolders(const std::string& path);  // creates the folder and its missing parents
std::string ShortPathName(const std::string& path);
long long FileSizeByName(const std::string& fileName);  // low 32 bits, -1 when missing
std::string FullPathName(const std::string& path);     // GetFullPathNameA; path itself on failure
std::string ExtractFilePath(const std::string& path);  // up to and including the last "\" or ":"

// ------------------------------------------------------------- FileOps.cpp
// A file name (without folder) that names neither a file nor a folder in
// folder: prefix, a number from the local time, extension. With shortForm
// the prefix keeps 4 characters and prefix and number have 8 together.
std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortForm);
// The 8 base-32 digits of UniqueFileName for a moment: 3 for the day
// (year modulo 10 and day of the year), 5 for the hundredths since midnight.
std::string UniqueNumberText(const SYSTEMTIME& time);
bool DeleteFileNow(const std::string& fileName);  // attributes to normal, then DeleteFileA
// Deletes every file below folder and, with removeFolders, the emptied
// folders and folder itself. Links are removed as links, never followed;
// a drive or share root is refused. True when everything went.
bool DeleteFolderTree(const std::string& folder, bool removeFolders);
void DeleteFileAtRestart(const std::string& fileName);  // MoveFileAtRestart(fileName, "")
// Schedules source to replace target at the next restart, or to be deleted
// when target is empty. NT family: MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT;
// 9x family: the [Rename] section of wininit.ini (EInOutError on failure,
// the entries already there are kept).
void MoveFileAtRestart(const std::string& source, const std::string& target);
