#include "ScenarioSupport.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <stdexcept>

#include "zrRtl.h"

namespace {

const char kUninstallParent[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kDllOverrides[] = "Software\\Wine\\DllOverrides";
const char kWinebootLogVariable[] = "UNINSTALL_TEST_WINEBOOT_LOG";  // read by WinebootStandIn.exe

// Argument 0 of our own command line: under Wine without drive Z: it holds
// the "\\?\unix\..." form, which CopyFileA understands (GetModuleFileNameA
// drops the "\\?\" there).
std::string OwnProgramPath() {
    std::string line = GetCommandLineA();
    if (!line.empty() && line[0] == '"') return line.substr(1, line.find('"', 1) - 1);
    return line.substr(0, line.find(' '));
}

// Waits until no program of that file name runs any more, at most timeoutMs.
void WaitForProgramsNamed(const char* exeName, DWORD timeoutMs) {
    TKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD start = GetTickCount();
    for (BOOL more = snapshot && Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) != 0) continue;
        TKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
        DWORD spent = GetTickCount() - start;
        if (process) WaitForSingleObject(process.Get(), spent < timeoutMs ? timeoutMs - spent : 0);
    }
}

}  // namespace

std::string BuiltUninstaller() {
    std::string self = OwnProgramPath();
    std::string testsDir = self.substr(0, self.find_last_of('\\'));        // ...\tests
    std::string buildDir = testsDir.substr(0, testsDir.find_last_of('\\'));  // ...\x86_64
    return buildDir + "\\Uninstall\\Uninstall.exe";
}

namespace {

void DispatchWaiting() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

LRESULT CALLBACK CounterWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* counter = reinterpret_cast<TBroadcastCounter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (counter) counter->Notice(message, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

DWORD RunAndWaitExit(const std::string& commandLine, const std::string& currentDir, DWORD timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    // No console is handed down: batch files started by the program must not
    // write into the test's output.
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        throw std::runtime_error("cannot start " + commandLine);
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    HANDLE handles[] = {process.Get()};
    // This thread's messages are dispatched while it waits, so a test's
    // hidden windows receive what the program broadcasts.
    for (DWORD start = GetTickCount();;) {
        if (MsgWaitForMultipleObjects(1, handles, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) break;
        DispatchWaiting();
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.Get(), 1);
            return STILL_ACTIVE;
        }
    }
    DispatchWaiting();  // messages sent just before the end are still waiting
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

TBroadcastCounter::TBroadcastCounter(UINT message, const char* about) : Message(message), About(about) {
    const char kClassName[] = "UninstallTestsBroadcastCounter";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CounterWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    Window.Reset(CreateWindowExA(0, kClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr));
    if (Window) SetWindowLongPtrA(Window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TBroadcastCounter::Notice(UINT message, LPARAM lParam) {
    if (message != Message) return;
    if (About && (lParam == 0 || lstrcmpA(reinterpret_cast<const char*>(lParam), About) != 0)) return;
    ++Seen;
}

bool WaitUntilGone(const std::string& path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(100);
    }
    return true;
}

TWin9xProgram::TWin9xProgram(const std::string& exeName) : Key("Software\\Wine\\AppDefaults\\" + exeName) {
    TKeyHandle key;
    RegCreateKeyA(HKEY_CURRENT_USER, Key.c_str(), key.Put());
    RegSetValueExA(key.Get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
}

TWin9xProgram::~TWin9xProgram() { SHDeleteKeyA(HKEY_CURRENT_USER, Key.c_str()); }

TStandInWineboot::TStandInWineboot() : Path(SystemFolder() + "\\wineboot.exe"), Original(ReadFileBytes(Path)) {
    std::string self = OwnProgramPath();
    std::string standIn = ReadFileBytes(self.substr(0, self.rfind('\\')) + "\\WinebootStandIn.exe");
    if (Original.empty() || standIn.empty()) return;
    WriteFileBytes(Path, standIn);
    Placed = true;
    Override = std::make_unique<TSavedRegValue>(HKEY_CURRENT_USER, kDllOverrides, "wineboot.exe");
    if (!Override->Get()) return;
    if (RegSetValueExA(Override->Get(), "wineboot.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7) !=
        ERROR_SUCCESS)
        return;
    LogPath = WindowsFolder() + "\\temp\\" + UniqueName("wineboot") + ".log";
    SetEnvironmentVariableA(kWinebootLogVariable, LogPath.c_str());
    DWORD code = RunAndWaitExit("\"" + Path + "\" --check", SystemFolder(), 30000);
    Answered = code == 0 && ReadFileBytes(LogPath).find("--check") != std::string::npos;
    DeleteFileA(LogPath.c_str());
}

TStandInWineboot::~TStandInWineboot() {
    SetEnvironmentVariableA(kWinebootLogVariable, nullptr);
    if (!LogPath.empty()) DeleteFileA(LogPath.c_str());
    Override.reset();
    if (Placed) WriteFileBytes(Path, Original);
}

std::string TStandInWineboot::TakeRequests(DWORD waitMs) {
    if (LogPath.empty()) return std::string();
    WaitUntil([&] { return !ReadFileBytes(LogPath).empty(); }, waitMs);
    WaitForProgramsNamed("wineboot.exe", waitMs);
    std::string requests = ReadFileBytes(LogPath);
    DeleteFileA(LogPath.c_str());
    return requests;
}

TProduct::TProduct(const std::string& appId, const std::string& exeName) : Id(appId), ExeName(exeName) {
    CreateDirectoryA(AppDir().c_str(), nullptr);
    if (!CopyFileA(BuiltUninstaller().c_str(), Exe().c_str(), FALSE))
        throw std::runtime_error("cannot copy " + BuiltUninstaller());
}

TProduct::~TProduct() {
    // The uninstaller's self-deleting batch file lies in Root and may still be
    // at work: let it finish before the scratch folder goes.
    DWORD start = GetTickCount();
    WIN32_FIND_DATAA data;
    for (;;) {
        TFindHandle batch(FindFirstFileA((Root() + "\\*.bat").c_str(), &data));
        if (!batch || GetTickCount() - start > 15000) break;
        Sleep(100);
    }
    SHDeleteKeyA(HKEY_CURRENT_USER, UninstallKeyPath().c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKeyPath().c_str());
}

std::string TProduct::UninstallKeyPath() const { return kUninstallParent + Id; }

void TProduct::WriteLog(const std::string& sections) const {
    WriteFileBytes(LogPath(), "[Strings]\r\nAppID=" + Id + "\r\n" + sections);
}

void TProduct::RegisterUninstallKey(HKEY root, const std::string& silentSettings) const {
    TKeyHandle key;
    RegCreateKeyA(root, UninstallKeyPath().c_str(), key.Put());
    std::string name = "Product " + Id;
    RegSetValueExA(key.Get(), "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    if (!silentSettings.empty())
        RegSetValueExA(key.Get(), "SilentSettings", 0, REG_SZ, reinterpret_cast<const BYTE*>(silentSettings.c_str()),
                       static_cast<DWORD>(silentSettings.size() + 1));
}

bool TProduct::UninstallKeyExists(HKEY root) const {
    TKeyHandle key;
    return RegOpenKeyExA(root, UninstallKeyPath().c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

DWORD TProduct::Run(const std::string& args) const {
    return RunAndWaitExit("\"" + Exe() + "\" " + args, Root());
}
