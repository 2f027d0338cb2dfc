#include "framework/message_pump.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // For the loop further out.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        win32::DispatchMessageOf(message);
    }
}

}  // namespace fw
