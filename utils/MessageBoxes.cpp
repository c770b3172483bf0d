#include "utils.h"

#include "zrRtl.h"

std::string AppTitle;
UINT MessageBoxFlags = 0;
HWND OwnerWindow = nullptr;

namespace {

// The one-shot centring hook of the box being shown. A WH_CBT hook set with a
// thread id only sees that thread's windows, so the handle is kept per thread.
thread_local THookHandle CenteringHook;

// Centres the box before it first becomes active, then removes itself, so no
// later activation of another window of the thread is touched.
LRESULT CALLBACK CenterBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    // SetWindowsHookExA: a negative code must go down the chain untouched.
    if (code < 0) return CallNextHookEx(CenteringHook.Get(), code, wParam, lParam);
    if (code != HCBT_ACTIVATE) return 0;
    // For HCBT_ACTIVATE the WPARAM carries the window being activated.
    CenterInWorkArea(reinterpret_cast<HWND>(wParam));
    LRESULT result = CallNextHookEx(CenteringHook.Get(), code, wParam, lParam);
    CenteringHook.Reset();
    return result;
}

// Owner of the program's boxes: the last active popup of OwnerWindow, none
// before the main window exists.
HWND BoxOwner() { return OwnerWindow ? GetLastActivePopup(OwnerWindow) : nullptr; }

}  // namespace

void ShowErrorBox(const std::string& text) {
    CenteredMessageBox(BoxOwner(), AppTitle.empty() ? std::string("Error") : AppTitle, text, MB_OK | MB_ICONHAND);
}

void ShowWarningBox(const std::string& text) {
    CenteredMessageBox(BoxOwner(), AppTitle.empty() ? std::string("Warning") : AppTitle, text,
                       MB_OK | MB_ICONEXCLAMATION);
}

int CenteredMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT flags) {
    CenteringHook.Reset(SetWindowsHookExA(WH_CBT, CenterBoxHook, nullptr, GetCurrentThreadId()));
    int answer = MessageBoxA(owner, text.c_str(), caption.c_str(), MessageBoxFlags | MB_TASKMODAL | flags);
    // MessageBoxA fails at once without a display or for an owner that is no
    // window; the box then never became active and the hook is still set.
    CenteringHook.Reset();
    return answer;
}

void CenterInWorkArea(HWND window) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect = {};
    GetWindowRect(window, &rect);
    int width = RectWidth(rect);
    int height = RectHeight(rect);
    // Integer division rounds toward zero, also for a window larger than the
    // work area.
    int left = work.left + (RectWidth(work) - width) / 2;
    int top = work.top + (RectHeight(work) - height) / 2;
    rect = {left, top, left + width, top + height};
    ClampToScreen(rect);
    SetWindowPos(window, nullptr, rect.left, rect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ClampToScreen(RECT& rect) {
    ClampToArea(rect, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

// Right before left and bottom before top: a rectangle larger than the
// screen ends with its left and top edges at 0.
void ClampToArea(RECT& rect, int width, int height) {
    if (rect.right > width) OffsetRect(&rect, width - rect.right, 0);
    if (rect.left < 0) OffsetRect(&rect, -rect.left, 0);
    if (rect.bottom > height) OffsetRect(&rect, 0, height - rect.bottom);
    if (rect.top < 0) OffsetRect(&rect, 0, -rect.top);
}

RECT ControlRectInParent(HWND parent, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    POINT topLeft = {rect.left, rect.top};
    POINT bottomRight = {rect.right, rect.bottom};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void RedrawNow(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

int RectWidth(const RECT& rect) { return rect.right - rect.left; }

int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }
