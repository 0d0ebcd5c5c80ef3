#include "app/shared_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Wave;
constexpr int kGap = 10;

// Directly below the main window, left edges aligned (the main window stands at (10, 10)).
void onCreate(HWND window) { placeWindow(window, kGap, sharedState().windowHeight + kGap); }
} // namespace

LRESULT CALLBACK waveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
