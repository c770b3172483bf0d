#include "utils.h"

#include <oleauto.h>

#include <cstring>
#include <memory>

#include "zrFileUtils.h"

namespace {

// DllRegisterServer and DllUnregisterServer take nothing and give an HRESULT.
using TServerEntry = HRESULT(STDAPICALLTYPE*)();
using TUnRegisterTypeLib = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);

struct TComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using TTypeLib = std::unique_ptr<ITypeLib, TComRelease>;

// The extension is the text from the last "." of the file name on.
bool HasExeExtension(const std::string& fileName) {
    size_t dot = fileName.find_last_of(".\\:");
    return dot != std::string::npos && fileName[dot] == '.' && SameText(fileName.substr(dot), ".exe");
}

// The absolute form of a path (GetFullPathNameA) in UTF-16 from the ANSI code
// page; empty when either step fails.
std::wstring WideFullPath(const std::string& fileName) {
    DWORD needed = GetFullPathNameA(fileName.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::string full(needed, '\0');
    DWORD length = GetFullPathNameA(fileName.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return std::wstring();
    int wideLength = MultiByteToWideChar(CP_ACP, 0, full.c_str(), static_cast<int>(length), nullptr, 0);
    if (wideLength <= 0) return std::wstring();
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_ACP, 0, full.c_str(), static_cast<int>(length), &wide[0], wideLength);
    return wide;
}

bool ReadExactly(HANDLE file, unsigned char* buffer, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

}  // namespace

bool ProbePEFile(const std::string& fileName, bool& isPE) {
    isPE = false;
    TFileHandle file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    unsigned char header[64];
    if (!ReadExactly(file.Get(), header, sizeof header) || header[0] != 'M' || header[1] != 'Z') return true;
    // e_lfanew, the offset of the PE header, is the last field of the DOS header.
    DWORD offset = header[60] | header[61] << 8 | header[62] << 16 | static_cast<DWORD>(header[63]) << 24;
    if (offset == 0 || FileSizeByName(fileName) <= static_cast<long long>(offset)) return true;
    // SetFilePointer takes the low part as unsigned when the high part is
    // given, so an offset above 2 GB is not taken for a move backwards; the
    // 9x family has no SetFilePointerEx.
    LONG high = 0;
    if (SetFilePointer(file.Get(), static_cast<LONG>(offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return true;
    unsigned char signature[4];
    isPE = ReadExactly(file.Get(), signature, sizeof signature) && std::memcmp(signature, "PE\0\0", 4) == 0;
    return true;
}

bool HasRegisterServer(const std::string& fileName, bool& hasExport) {
    hasExport = false;
    TModuleHandle module(LoadLibraryQuiet(fileName, true));
    if (!module) return false;
    hasExport = GetProcAddress(module.Get(), "DllRegisterServer") != nullptr;
    return true;
}

bool UnregisterServer(const std::string& fileName) {
    bool unregistered = false;
    {
        TModuleHandle module(LoadLibraryQuiet(fileName, true));
        if (module) {
            TServerEntry entry = ProcAddress<TServerEntry>(module.Get(), "DllUnregisterServer");
            unregistered = entry && SUCCEEDED(entry());
        }
    }
    if (!unregistered && HasExeExtension(fileName)) {
        // The path goes in quotes: unquoted, WinExec would try each prefix
        // that ends at a blank as a program first ("C:\Program.exe" for a
        // server in "C:\Program Files\...").
        std::string commandLine = "\"" + fileName + "\" /UNREGSERVER";
        unregistered = WinExec(commandLine.c_str(), SW_HIDE) > 31;
    }
    return unregistered;
}

bool UnregisterTypeLibrary(const std::string& fileName) {
    // Looked up at run time: older versions of OLEAUT32.DLL lack
    // UnRegisterTypeLib, and an import would keep the program from starting.
    HMODULE oleaut = GetModuleHandleA("OLEAUT32.DLL");
    if (!oleaut) return false;
    TUnRegisterTypeLib unregister = ProcAddress<TUnRegisterTypeLib>(oleaut, "UnRegisterTypeLib");
    if (!unregister) return false;

    // LoadTypeLib registers a library loaded by a relative name; the full
    // path keeps it from registering what is about to be unregistered.
    std::wstring path = WideFullPath(fileName);
    if (path.empty()) return false;
    ITypeLib* loaded = nullptr;
    if (FAILED(LoadTypeLib(path.c_str(), &loaded)) || !loaded) return false;
    TTypeLib library(loaded);

    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes)) || !attributes) return false;
    HRESULT result = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
    return SUCCEEDED(result);
}

bool UnregisterFile(const std::string& fileName) {
    bool isPE = false;
    if (!ProbePEFile(fileName, isPE)) return false;
    bool unregistered = false;
    if (isPE) {
        bool hasExport = false;
        if (!HasRegisterServer(fileName, hasExport)) return false;
        if (hasExport || HasExeExtension(fileName)) {
            // A server that cannot be unregistered keeps its type library too.
            if (!UnregisterServer(fileName)) return false;
            unregistered = true;
        }
    }
    // Also for a file that is no PE image: a stand-alone type library.
    if (UnregisterTypeLibrary(fileName)) unregistered = true;
    return unregistered;
}
