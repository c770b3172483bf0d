#include "utils.h"

// WM_QUIT ends the pump at once: it has been taken from the queue and is not
// posted again, the messages behind it stay queued, and there is no sleep.
// No IsDialogMessageA here: dialog navigation is the page loop's business.
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(1);
}
