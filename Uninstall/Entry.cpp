#include "Uninstall.h"
#include "utils.h"

// The exit code is 0 after an uninstall or a repair hand-off, -1 otherwise.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TUninstallState& s = UninstallState;
    s.Succeeded = false;
    try {
        s.Succeeded = MainFlow();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
        s.Succeeded = false;
    } catch (...) {
        s.Succeeded = false;
    }
    if (!s.Succeeded) return -1;
    if (s.RebootNeeded) RestartWindows(false);
    return 0;
}
