#include "app/shared_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Light;
constexpr int kGap = 10;

void onCreate(HWND window) {
    SharedState& s = sharedState();
    // The light follows the dial's marker from the moment the window opens.
    s.core.light.lightDirection = lightDirectionFromDial(kLightMarkerX, kLightMarkerY);
    // Directly right of the main window, top edges aligned.
    placeWindow(window, s.windowWidth + kGap, kGap);
}
} // namespace

LRESULT CALLBACK lightWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
