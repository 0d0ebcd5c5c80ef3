#include "app/shared_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Control;

// Under the light window, left edges aligned; with the light window closed it stays where
// it was created.
void onCreate(HWND window) {
    RECT light;
    if (sharedState().lightWindow && GetWindowRect(sharedState().lightWindow, &light))
        placeWindow(window, light.left, light.bottom);
}
} // namespace

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
