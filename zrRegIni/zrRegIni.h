// zrRegIni: INI files by path through a cache of loaded files, and the
// registry by path ("HKLM\SOFTWARE\..."), with the text forms of values.
// Failures are results (false, 0, the caller's default), never messages.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "zrIniFile.h"
#include "zrRtl.h"

// ------------------------------------------------------------- IniCache.cpp
// The cache is shared by the main thread and the uninstall worker: every
// routine below holds IniCacheLock() while it works. A caller that keeps the
// object of GetIniFile must hold the lock as long as it uses it.
std::recursive_mutex& IniCacheLock();

TzrIniFile* GetIniFile(const std::string& path, bool readOnly);
void CloseIniFile(const std::string& path);
void CloseAllIniFiles();
std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& def);
int ReadIniInteger(const std::string& path, const std::string& section, const std::string& key, int def);
bool ReadIniBool(const std::string& path, const std::string& section, const std::string& key, bool def);
void ReadIniSection(const std::string& path, const std::string& section, TStringList& list);
void ReadIniSectionValues(const std::string& path, const std::string& section, TStringList& list);
int CountIniSectionValues(const std::string& path, const std::string& section);
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);
void DeleteIniKey(const std::string& path, const std::string& section, const std::string& key);

// ------------------------------------------------------------- Registry.cpp
// Root key and subkey of a registry path; an unknown root means HKCU.
HKEY ParseRegistryPath(const std::string& path, std::string& subKey);
DWORD RegValueType(const std::string& path, const std::string& name);
DWORD RegValueSize(const std::string& path, const std::string& name);
bool ReadRegValue(const std::string& path, const std::string& name, void* buffer, DWORD& size);
std::string ReadRegString(const std::string& path, const std::string& name, const std::string& def);
DWORD ReadRegDWord(const std::string& path, const std::string& name, DWORD def);
bool ReadRegBool(const std::string& path, const std::string& name, bool def);
std::string ReadRegBinaryHex(const std::string& path, const std::string& name, const std::string& def);
void ReadRegSubKeys(const std::string& path, TStringList& list);
bool WriteRegValue(const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size);
bool WriteRegString(const std::string& path, const std::string& name, const std::string& value);
bool WriteRegDWord(const std::string& path, const std::string& name, DWORD value);
bool WriteRegBinary(const std::string& path, const std::string& name, const void* data, DWORD size);
bool WriteRegBinaryHex(const std::string& path, const std::string& name, const std::string& hexText);
bool WriteRegMultiString(const std::string& path, const std::string& name, const TStringList& list);
bool WriteRegMultiText(const std::string& path, const std::string& name, const std::string& text);
bool WriteRegValueText(const std::string& path, const std::string& name, DWORD type, const std::string& text);
bool DeleteRegValue(const std::string& path, const std::string& name);
bool DeleteRegKey(const std::string& path, bool withSubKeys);
