#include "app/shared_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Erase;

// Right of the wave window, top edges aligned; with the wave window closed it stays where
// it was created.
void onCreate(HWND window) {
    beginToolWindow(kSelf, window);
    RECT wave;
    if (sharedState().waveWindow && GetWindowRect(sharedState().waveWindow, &wave))
        placeWindow(window, wave.right, wave.top);
}
} // namespace

LRESULT CALLBACK eraseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
