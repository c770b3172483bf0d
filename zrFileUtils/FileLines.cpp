#include "zrFileUtils.h"

namespace {

// ReadFileLine reads the file in pieces of this size and moves back over
// what it read past the line end.
const DWORD kLinePieceSize = 100;

}  // namespace

HANDLE OpenFileEx(const std::string& fileName, DWORD access, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes) {
    return CreateFileA(fileName.c_str(), access, shareMode, nullptr, creationDisposition, flagsAndAttributes,
                       nullptr);
}

void CloseFileHandle(TFileHandle& handle) { handle.Reset(); }

DWORD FilePosition(HANDLE handle) { return SetFilePointer(handle, 0, nullptr, FILE_CURRENT); }

// On a handle that is not a file both calls give INVALID_SET_FILE_POINTER
// (0xFFFFFFFF), so a reader looping until FileAtEnd stops there as well.
bool FileAtEnd(HANDLE handle) { return FilePosition(handle) >= GetFileSize(handle, nullptr); }

// A line ends at CR. The LF that normally follows the CR is read as the first
// byte of the next line and dropped there, like every other LF: a file whose
// lines end with LF alone therefore reads as one line.
std::string ReadFileLine(HANDLE handle) {
    std::string line;
    char piece[kLinePieceSize];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(handle, piece, kLinePieceSize, &count, nullptr)) {
            // A failed read (a locked region, a handle without read access)
            // ends the line. The position goes to the end of the file so
            // that a caller reading until FileAtEnd stops instead of failing
            // on the same bytes again and again.
            SetFilePointer(handle, 0, nullptr, FILE_END);
            return line;
        }
        if (count == 0) return line;
        DWORD cr = 0;
        while (cr < count && piece[cr] != '\r') ++cr;
        for (DWORD i = 0; i < cr; ++i)
            if (piece[i] != '\n') line += piece[i];
        if (cr < count) {
            // Step back so that the next read starts on the byte after the CR.
            DWORD readPast = count - cr - 1;
            if (readPast > 0) SetFilePointer(handle, -static_cast<LONG>(readPast), nullptr, FILE_CURRENT);
            return line;
        }
    }
}

void WriteFileLine(HANDLE handle, const std::string& text) {
    std::string bytes = text + "\r\n";
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
