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
// The next line: bytes up to the next CR (consumed), every LF dropped.
std::string ReadFileLine(HANDLE handle);
void WriteFileLine(HANDLE handle, const std::string& text);  // text + CR LF

// ---------------------------------------------------------------- Paths.cpp
std::string AddBackslash(const std::string& path);     // unquotes, then ensures a final "\"
std::string RemoveBackslash(const std::string& path);  // drops one final "\"
bool DirExists(const std::string& path);
void ForceFolders(const std::string& path);  // creates the folder and its missing parents
std::string ShortPathName(const std::string& path);
long long FileSizeByName(const std::string& fileName);  // low 32 bits, -1 when missing
