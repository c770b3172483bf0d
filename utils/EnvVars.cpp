#include "utils.h"

#include "zrFileUtils.h"
#include "zrRegIni.h"
#include "zrRtl.h"

namespace {

const char kSystemEnvironment[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kUserEnvironment[] = "HKCU\\Environment";
const char kAutoexecPath[] = "c:\\autoexec.bat";

std::string EnvironmentKey(bool systemWide) { return systemWide ? kSystemEnvironment : kUserEnvironment; }

// The folder of a file path, with its final "\".
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The whole content of a file; EInOutError when it cannot be read.
std::string ReadWholeFile(const std::string& path) {
    // Another program may have it open for writing: its writes are its own affair.
    TFileHandle file(
        OpenFileEx(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    if (!file) throw EInOutError(Format("Cannot open file %s", {path}), GetLastError());
    std::string text;
    char piece[4096];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.Get(), piece, sizeof piece, &count, nullptr))
            throw EInOutError(Format("Cannot read file %s", {path}), GetLastError());
        if (count == 0) return text;
        text.append(piece, count);
    }
}

// The variable a batch line sets: for a line that reads "SET " (any case)
// once blanks and control characters are cut from its ends, the text after
// that word, trimmed the same way, up to its first "=". No further trimming:
// "SET PATH =x" sets "PATH " to command.com, not "PATH". Empty for any other
// line.
std::string SetLineName(const std::string& line) {
    std::string trimmed = Trim(line);
    if (trimmed.size() < 4 || !SameText(trimmed.substr(0, 4), "SET ")) return std::string();
    std::string rest = Trim(trimmed.substr(4));
    return rest.substr(0, rest.find('='));
}

// Writes the new batch file, each line ended with CR LF; EInOutError when
// it cannot be made or written whole.
void WriteBatchFile(const std::string& path, const TStringList& lines) {
    TFileHandle file(OpenFileEx(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    if (!file) throw EInOutError(Format("Cannot create file %s", {path}), GetLastError());
    std::string text = lines.Text();
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        throw EInOutError(Format("Cannot write file %s", {path}), GetLastError());
}

}  // namespace

std::string ProcessEnvVar(const std::string& name) {
    // With no buffer GetEnvironmentVariableA gives the size it needs, the
    // terminating zero included; an empty value needs 1.
    DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed < 2) return std::string();
    std::string value(needed, '\0');
    DWORD length = GetEnvironmentVariableA(name.c_str(), &value[0], needed);
    // A value that grew in between does not fit: taken as unreadable.
    if (length == 0 || length >= needed) return std::string();
    value.resize(length);
    return value;
}

std::string ReadEnvVar(const std::string& name, bool systemWide) {
    if (name.empty()) return std::string();
    // On the 9x family the persistent variables are those autoexec.bat set
    // when Windows started: the program's own environment holds them.
    if (!IsWinNT()) return ProcessEnvVar(name);
    // A REG_EXPAND_SZ value comes back as stored, "%SystemRoot%" unexpanded.
    return ReadRegString(EnvironmentKey(systemWide), name, "");
}

bool WriteEnvVar(const std::string& name, const std::string& value, bool systemWide) {
    if (name.empty()) return false;
    if (!IsWinNT()) return SetAutoexecVar(name, value);
    std::string key = EnvironmentKey(systemWide);
    if (value.empty()) return DeleteRegValue(key, name);
    // A REG_EXPAND_SZ value keeps its type: the system "Path" holds
    // references such as %SystemRoot%, which the system expands only in
    // values of that type. A new value is REG_SZ.
    if (RegValueType(key, name) == REG_EXPAND_SZ) return WriteRegValueText(key, name, REG_EXPAND_SZ, value);
    return WriteRegString(key, name, value);
}

bool SetAutoexecVar(const std::string& name, const std::string& value) {
    return SetBatchFileVar(kAutoexecPath, name, value);
}

bool SetBatchFileVar(const std::string& batchFile, const std::string& name, const std::string& value) {
    // Without a batch file none is made. An empty name would match every
    // line that is no SET line.
    if (name.empty() || !IsFile(batchFile)) return false;
    std::string folder = FolderOf(batchFile);
    std::string newFile = folder + UniqueFileName(folder, "", ".bat", true);
    try {
        // Split at CR LF, CR or LF, as command.com ends its lines:
        // ReadFileLine would merge the lines of a file with LF line ends into
        // one, and read an empty line after a final CR LF, which would then
        // grow the file by one empty line per rewrite.
        TStringList lines;
        lines.SetText(ReadWholeFile(batchFile));
        std::string setLine = Format("SET %s=%s", {name, value});
        bool matched = false;
        for (int i = lines.Count() - 1; i >= 0; --i) {
            if (!SameText(SetLineName(lines[i]), name)) continue;
            matched = true;
            if (value.empty())
                lines.Delete(i);
            else
                lines.Put(i, setLine);
        }
        if (!matched && !value.empty()) lines.Add(setLine);
        WriteBatchFile(newFile, lines);
    } catch (...) {
        // The old file is untouched; the half-written new one goes.
        DeleteFileNow(newFile);
        throw;
    }
    if (ReplaceFileKeepingOld(newFile, batchFile)) return true;
    DeleteFileNow(newFile);
    return false;
}

bool ReplaceFileKeepingOld(const std::string& newFile, const std::string& target) {
    std::string folder = FolderOf(target);
    std::string backup = folder + UniqueFileName(folder, "", ".bak", true);
    // The old file is renamed, not deleted, until the new one has taken its
    // place. Renaming also frees the name where DeleteFileA would not: a file
    // that another program holds open with FILE_SHARE_DELETE keeps its name,
    // pending deletion, until that program closes it.
    if (!MoveFileA(target.c_str(), backup.c_str())) return false;
    if (MoveFileA(newFile.c_str(), target.c_str())) {
        DeleteFileNow(backup);
        return true;
    }
    MoveFileA(backup.c_str(), target.c_str());
    return false;
}
