#include "app/scene_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Light;
constexpr int kGap = 10;

void onCreate(HWND window) {
    SceneState& s = sceneState();
    // The light follows the dial's marker from the moment the window opens.
    s.core.light.lightDirection = lightDirectionFromDial(kLightMarkerX, kLightMarkerY);
    // Directly right of the main window, top edges aligned.
    placeWindow(window, s.windowWidth + kGap, kGap);
}
} // namespace

LRESULT CALLBACK lightWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
