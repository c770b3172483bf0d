#include "Uninstall.h"
#include "utils.h"

namespace {

const char kMainWindowClass[] = "OVUninstallMainWindow";

}  // namespace

HWND CreateMainWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_NOCLOSE;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "MAINICON");
    wc.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&wc)) {
        WNDCLASSA plain{};
        plain.style = wc.style;
        plain.lpfnWndProc = wc.lpfnWndProc;
        plain.hInstance = wc.hInstance;
        plain.hIcon = wc.hIcon;
        plain.lpszClassName = wc.lpszClassName;
        if (!RegisterClassA(&plain)) {
            ShowErrorBox("Cannot register main window class!");
            return nullptr;
        }
    }
    return CreateWindowExA(0, kMainWindowClass, "", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, nullptr,
                           nullptr, instance, nullptr);
}

// The wizard pages are not built yet: an interactive start ends as a
// cancelled wizard would, with nothing changed.
int RunWizard() { return PAGE_CANCEL; }

int ShowPage(const std::string& name) {
    UninstallState.PageName = name;
    return PAGE_CANCEL;
}

void ClosePreviousPage() {
    TUninstallState& s = UninstallState;
    if (s.LastPageWindow) {
        DestroyWindow(s.LastPageWindow);
        s.LastPageWindow = nullptr;
    }
}
