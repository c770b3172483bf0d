#include "zrFileUtils.h"

#include <vector>

#include "utils.h"
#include "zrRegIni.h"
#include "zrStrUtils.h"

namespace {

const char kRunOncePath[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The attribute bit of a volume label, which FindFirstFileA can return in a
// drive root (the DOS volume-label bit; the SDK headers have no name for it).
const DWORD kVolumeLabel = 8;
const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A drive root ("C:", "C:\", "\") or a share root ("\\server\share"). "C:"
// alone would be read by GetFullPathNameA as the current folder of drive C,
// but "C:" + "\*.*" lists the root, so the folder is taken with its backslash.
bool IsRootFolder(const std::string& folder) {
    std::string full = RemoveBackslash(FullPathName(AddBackslash(folder)));
    if (full.size() <= 2) return true;
    if (full.compare(0, 2, "\\\\") != 0) return false;
    // CharNextA steps over whole characters: a trail byte of a double-byte
    // character can have the value of "\".
    int separators = 0;
    const char* end = full.c_str() + full.size();
    for (const char* p = full.c_str() + 2; p < end; p = CharNextA(p))
        if (*p == '\\') ++separators;
    return separators <= 1;
}

// The text after the last "\" or ":", stepping over whole characters (a
// trail byte of a double-byte character can have the value of "\").
std::string FileNamePart(const std::string& path) {
    const char* start = path.c_str();
    const char* name = start;
    for (const char* p = start; *p; p = CharNextA(p))
        if (*p == '\\' || *p == ':') name = p + 1;
    return std::string(name);
}

// A junction, symbolic link or mount point inside a tree is removed as a
// link: RemoveDirectoryA (folder) or DeleteFileA (file) on a reparse point
// take the link away and leave its target alone. The attributes of a file
// link are not cleared first, since SetFileAttributesA may reach the target.
//
// The entry must also be a reparse point when opened as itself: where the
// system follows the link even then (Wine's Unix links), RemoveDirectoryA
// would delete an empty target instead: such a link is left in place.
bool RemoveLink(const std::string& path, DWORD attributes) {
    TFileHandle entry(OpenFileEx(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    BY_HANDLE_FILE_INFORMATION info;
    if (!entry || !GetFileInformationByHandle(entry.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    entry.Reset();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path.c_str()) != FALSE;
    return DeleteFileA(path.c_str()) != FALSE;
}

// The short (8.3) form of a target for wininit.ini. A target that does not
// exist yet has no short form: an empty file is made there for the moment.
std::string ShortTargetName(const std::string& target) {
    if (PathExists(target)) return ShortPathName(target);
    TFileHandle placeholder(OpenFileEx(target, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    if (!placeholder) throw EInOutError(Format("Cannot create file %s", {target}), GetLastError());
    CloseFileHandle(placeholder);
    std::string shortName = ShortPathName(target);
    DeleteFileNow(target);
    return shortName;
}

// WriteFileLine does not report a short write: the position tells.
void WriteCheckedLine(HANDLE file, const std::string& text, const std::string& path) {
    DWORD before = FilePosition(file);
    WriteFileLine(file, text);
    if (FilePosition(file) != before + text.size() + 2)
        throw EInOutError(Format("Cannot write file %s", {path}), GetLastError());
}

// Writes a new wininit.ini at iniPath from the old file at oldPath (none when
// empty), with the entries at the end of its [Rename] section.
void WriteWininit(const std::string& iniPath, const std::string& oldPath, const std::vector<std::string>& entries) {
    TFileHandle out(OpenFileEx(iniPath, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    if (!out) throw EInOutError(Format("Cannot create file %s", {iniPath}), GetLastError());
    bool entriesWritten = false;
    auto writeEntries = [&] {
        for (const std::string& entry : entries) WriteCheckedLine(out.Get(), entry, iniPath);
        entriesWritten = true;
    };
    if (!oldPath.empty()) {
        TFileHandle in(OpenFileEx(oldPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        if (!in) throw EInOutError(Format("Cannot open file %s", {oldPath}), GetLastError());
        // The entries go before the first empty line after "[Rename]", or
        // after the last line. The mark stays set: a section that follows
        // without an empty line between gets them before its own empty line.
        bool sectionFound = false;
        while (!FileAtEnd(in.Get())) {
            std::string line = Trim(ReadFileLine(in.Get()));
            bool lastLine = FileAtEnd(in.Get());
            if (!line.empty()) WriteCheckedLine(out.Get(), line, iniPath);
            if (SameText(line, "[Rename]")) sectionFound = true;
            if (sectionFound && !entriesWritten && (line.empty() || lastLine)) writeEntries();
            if (line.empty()) WriteCheckedLine(out.Get(), "", iniPath);
        }
    }
    if (!entriesWritten) {
        WriteCheckedLine(out.Get(), "[Rename]", iniPath);
        writeEntries();
    }
}

// Adds entries to the [Rename] section of wininit.ini in the Windows folder,
// which the 9x family carries out at its next start. The old file becomes
// wininit.bak while the new one is written; when any step fails, the old file
// is put back before the error leaves, so no entry already there is lost.
void AddWininitEntries(const std::vector<std::string>& entries) {
    std::string folder = AddBackslash(WindowsDirectory());
    std::string iniPath = folder + "wininit.ini";
    std::string backupPath = folder + "wininit.bak";
    DeleteFileNow(backupPath);
    bool hadOldFile = IsFile(iniPath);
    if (hadOldFile && !MoveFileA(iniPath.c_str(), backupPath.c_str()))
        throw EInOutError(Format("Cannot rename file %s", {iniPath}), GetLastError());
    try {
        WriteWininit(iniPath, hadOldFile ? backupPath : std::string(), entries);
    } catch (...) {
        // The new file's handle is closed by now.
        DeleteFileNow(iniPath);
        if (hadOldFile) MoveFileA(backupPath.c_str(), iniPath.c_str());
        throw;
    }
    DeleteFileNow(backupPath);
}

}  // namespace

std::string UniqueNumberText(const SYSTEMTIME& time) {
    int yearDigit = time.wYear % 10;
    int dayOfYear = time.wDay;
    for (int month = 1; month < time.wMonth && month <= 12; ++month)
        dayOfYear += month == 2 && IsLeapYear(time.wYear) ? 29 : kMonthDays[month - 1];
    int day = yearDigit * 365 + yearDigit / 4 + dayOfYear;
    int hundredths = time.wHour * 360000 + time.wMinute * 6000 + time.wSecond * 100 + time.wMilliseconds / 10;
    return IntToBaseStr(day, 3, 32) + IntToBaseStr(hundredths, 5, 32);
}

std::string UniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension,
                           bool shortForm) {
    std::string base = AddBackslash(folder);
    std::string head = shortForm ? prefix.substr(0, 4) : prefix;
    for (;;) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string number = UniqueNumberText(now);
        if (shortForm) number.erase(0, head.size());
        std::string name = head + number + extension;
        if (!PathExists(base + name)) return name;
        // The number moves on every 10 ms; no need to spin meanwhile.
        Sleep(1);
    }
}

bool DeleteFileNow(const std::string& fileName) {
    // DeleteFileA refuses a read-only file.
    SetFileAttributesA(fileName.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(fileName.c_str()) != FALSE;
}

bool DeleteFolderTree(const std::string& folder, bool removeFolders) {
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    // A log line naming a drive or share would otherwise empty it.
    if (IsRootFolder(folder)) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return !removeFolders || RemoveLink(folder, attributes);

    bool result = true;
    std::string base = AddBackslash(folder);
    WIN32_FIND_DATAA entry;
    TFindHandle find(FindFirstFileA((base + "*.*").c_str(), &entry));
    DWORD listingEnd = find ? ERROR_SUCCESS : GetLastError();
    if (find) {
        do {
            std::string name = entry.cFileName;
            // "." and "..", and any other name that begins with a dot.
            if (name.empty() || name[0] == '.') continue;
            DWORD entryAttributes = entry.dwFileAttributes;
            if (entryAttributes == kVolumeLabel) continue;
            std::string path = base + name;
            if (entryAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // Never descend through a link: remove the link itself.
                if ((entryAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || removeFolders)
                    if (!RemoveLink(path, entryAttributes)) result = false;
            } else if (entryAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!DeleteFolderTree(path, removeFolders)) result = false;
            } else if ((entryAttributes & kVolumeLabel) == 0) {
                if (entryAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
                if (!DeleteFileNow(path)) result = false;
            }
        } while (FindNextFileA(find.Get(), &entry));
        listingEnd = GetLastError();
    }
    // The search handle is closed before the folder goes.
    find.Reset();
    if (removeFolders && result && listingEnd == ERROR_NO_MORE_FILES && !RemoveDirectoryA(folder.c_str()))
        result = false;
    return result;
}

void DeleteFileAtRestart(const std::string& fileName) { MoveFileAtRestart(fileName, std::string()); }

void MoveFileAtRestart(const std::string& source, const std::string& target) {
    std::string sourcePath = FullPathName(source);
    std::string targetPath = target.empty() ? std::string() : FullPathName(target);
    if (!IsFile(sourcePath)) return;

    if (IsWinNT()) {
        // MoveFileExA with no new name schedules a deletion. The present
        // target is deleted first: the move alone would not replace it.
        if (targetPath.empty()) {
            MoveFileExA(sourcePath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        } else {
            MoveFileExA(targetPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExA(sourcePath.c_str(), targetPath.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        return;
    }

    // wininit.ini knows short (8.3) names only; "NUL=" deletes.
    std::string shortSource = ShortPathName(sourcePath);
    if (targetPath.empty()) {
        AddWininitEntries({"NUL=" + shortSource});
        return;
    }
    std::string shortTarget = ShortTargetName(targetPath);
    AddWininitEntries({"NUL=" + shortTarget, shortTarget + "=" + shortSource});
    // The file arrives under its short name; a RunOnce command gives it its
    // long name back at the next log-on.
    if (!SameText(shortTarget, targetPath)) {
        std::string longName = FileNamePart(targetPath);
        WriteRegString(kRunOncePath, Format("Rename %s", {shortTarget}),
                       Format("command.com /c ren %s \"%s\"", {shortTarget, longName}));
    }
}
