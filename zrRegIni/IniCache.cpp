#include "zrRegIni.h"

#include <memory>

#include "zrStrUtils.h"

namespace {

// The loaded INI files, keyed by the upper-cased path, each object owned by
// the list. At program end the owner's destructor destroys every object,
// which writes the modified files back.
class TIniCacheOwner {
public:
    TIniCacheOwner() : Files(true) {
        // The lock is made first, so that it outlives the cache.
        IniCacheLock();
        Files.SetSorted(true);
    }
    ~TIniCacheOwner() {
        std::lock_guard<std::recursive_mutex> lock(IniCacheLock());
        Files.Clear();
    }
    TIniCacheOwner(const TIniCacheOwner&) = delete;
    TIniCacheOwner& operator=(const TIniCacheOwner&) = delete;

    TStringList Files;
};

TStringList& IniCache() {
    static TIniCacheOwner owner;
    return owner.Files;
}

using TLock = std::lock_guard<std::recursive_mutex>;

}  // namespace

std::recursive_mutex& IniCacheLock() {
    static std::recursive_mutex lock;
    return lock;
}

TzrIniFile* GetIniFile(const std::string& path, bool readOnly) {
    TLock lock(IniCacheLock());
    TStringList& cache = IniCache();
    // File names on Windows ignore case: so does the key, and the object is
    // opened on the upper-cased path.
    std::string key = AnsiUpperCase(path);
    int index = cache.IndexOf(key);
    if (index >= 0) {
        auto* cached = static_cast<TzrIniFile*>(cache.Objects(index));
        if (!cached->ReadOnly || readOnly) return cached;
    }
    // Loading may raise ("Cannot open file %s"): the cache is changed only
    // once the new object exists. A read-only object it replaces writes
    // nothing when destroyed.
    std::unique_ptr<TzrIniFile> file(TzrIniFile::CreateWithOptions(key, readOnly, true, true, true, true));
    if (index >= 0) {
        std::unique_ptr<TObject> readOnlyFile(cache.Objects(index));
        cache.SetObject(index, file.get());
    } else {
        cache.AddObject(key, file.get());
    }
    return file.release();
}

void CloseIniFile(const std::string& path) {
    TLock lock(IniCacheLock());
    TStringList& cache = IniCache();
    int index = cache.IndexOf(AnsiUpperCase(path));
    if (index < 0) return;
    // Out of the list first, then destroyed (which writes it back).
    std::unique_ptr<TObject> file(cache.Extract(index));
}

void CloseAllIniFiles() {
    TLock lock(IniCacheLock());
    IniCache().Clear();
}

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& def) {
    TLock lock(IniCacheLock());
    return GetIniFile(path, true)->ReadString(section, key, def);
}

int ReadIniInteger(const std::string& path, const std::string& section, const std::string& key, int def) {
    int value = def;
    // "$" introduces hexadecimal; "0x" is not recognised here.
    if (!TryStrToInt(ReadIniString(path, section, key, IntToStr(def)), value)) return def;
    return value;
}

bool ReadIniBool(const std::string& path, const std::string& section, const std::string& key, bool def) {
    return ReadIniString(path, section, key, def ? "1" : "0") == "1";
}

void ReadIniSection(const std::string& path, const std::string& section, TStringList& list) {
    TLock lock(IniCacheLock());
    GetIniFile(path, true)->ReadSection(section, list);
}

void ReadIniSectionValues(const std::string& path, const std::string& section, TStringList& list) {
    TLock lock(IniCacheLock());
    GetIniFile(path, true)->ReadSectionValues(section, list);
}

int CountIniSectionValues(const std::string& path, const std::string& section) {
    TStringList lines;
    ReadIniSectionValues(path, section, lines);
    return lines.Count();
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    TLock lock(IniCacheLock());
    GetIniFile(path, false)->WriteString(section, key, value);
    return true;
}

void DeleteIniKey(const std::string& path, const std::string& section, const std::string& key) {
    TLock lock(IniCacheLock());
    GetIniFile(path, false)->DeleteKey(section, key);
}
