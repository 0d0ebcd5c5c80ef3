#include "app/scene_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Wave;
constexpr int kGap = 10;

// Directly below the main window, left edges aligned (the main window stands at (10, 10)).
void onCreate(HWND window) { placeWindow(window, kGap, sceneState().windowHeight + kGap); }
} // namespace

LRESULT CALLBACK waveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    case WM_GETMINMAXINFO: onToolMinMaxInfo(kSelf, reinterpret_cast<MINMAXINFO*>(lParam)); break;
    case WM_NCACTIVATE: relayCaptionState(window, wParam); break;
    case WM_CHAR: relayCharToOwner(wParam); break;
    case WM_CLOSE: closeToolWindow(kSelf, window); break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
