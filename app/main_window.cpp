#include "app/file_commands/animation_export.h"
#include "commands.h"
#include "frame_cycle.h"
#include "program.h"
#include "scene_state.h"
#include "toolwindows/tool_window.h"

namespace {
constexpr UINT kToolMenuItems[] = {IDM_ERASE_WINDOW, IDM_CONTROL_WINDOW, IDM_LIGHT_WINDOW,
                                   IDM_WAVE_WINDOW};

void onCreate(HWND window) {
    SceneState& s = sceneState();
    s.mainWindow = window;
    createFrameBuffers(window);
    RECT client;
    GetClientRect(window, &client);
    setScreenOrigin(s.core, {client.right / 2, client.bottom / 2});
    drawFrame();

    openToolWindow(ToolWindow::Wave, ToolTitle::AtStart);
    openToolWindow(ToolWindow::Light, ToolTitle::AtStart);
    openToolWindow(ToolWindow::Control, ToolTitle::AtStart);
    openToolWindow(ToolWindow::Erase, ToolTitle::AtStart);
    HMENU menu = GetMenu(window);
    for (UINT item : kToolMenuItems)
        EnableMenuItem(menu, item, MF_BYCOMMAND | MF_GRAYED);
}

BOOL CALLBACK markHidden(HWND window, LPARAM) {
    SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) & ~WS_VISIBLE);
    return TRUE;
}

// The main window's WM_CLOSE (close box or Ctrl+Q): the tool windows, then everything the
// window owns, then the window itself; WM_DESTROY ends the loop.
void onClose(HWND window) {
    SceneState& s = sceneState();
    // An animation being written stops first: its file is not left half made.
    stopAnimationExport();
    // DestroyWindow hides a shown window before it destroys it. Wine, when it leaves the windows
    // to a window manager and the display has none (Xvfb), waits 2 s for each such hide to be
    // confirmed, the program frozen meanwhile: 10 s for its five windows. Every window is going,
    // so each is only marked hidden; destroying it then takes it off the screen at once.
    EnumThreadWindows(GetCurrentThreadId(), markHidden, 0);
    // The tool windows close first; each clears its own handle.
    for (HWND tool : {s.waveWindow, s.lightWindow, s.controlWindow, s.eraseWindow})
        if (tool) SendMessageW(tool, WM_CLOSE, 0, 0);
    s.core.depthBuffer = {};
    s.instanceEvent.reset();
    for (Brush& brush : s.toolBrushes)
        brush.reset();
    s.capture.captureStatusBar.reset(); // the progress bar is its child and goes with it
    s.capture.captureProgressBar = nullptr;
    KillTimer(window, kAnimationTimer);
    releaseFrameBuffers();
    DestroyWindow(window);
}

void onGetMinMaxInfo(MINMAXINFO* info) {
    SceneState& s = sceneState();
    // The platform also clamps a window being created to this limit, which would cost the
    // client area its last column and row; the limit therefore holds from creation on.
    if (!s.mainWindow) return;
    const RECT& r = s.maxTrackRect;
    info->ptMaxTrackSize = {r.right - r.left, r.bottom - r.top};
}

void onKey(unsigned char key) {
    const char typed = static_cast<char>(key);
    typeKeys(sceneState().core, {&typed, 1}); // any other character draws the same frame
    drawFrame();
}

// A tool window changed its settings: the flag is rebuilt once for all of them.
void onRedrawRequest() {
    recomputeScene(sceneState().core);
    drawFrame();
}
} // namespace

// The main window keeps all captions in step: see relayCaptionState.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    case WM_DESTROY:
        if (sceneState().mainWindow == window) sceneState().mainWindow = nullptr;
        PostQuitMessage(0);
        break;
    case WM_PAINT: paintMainWindow(window); break;
    case WM_CLOSE: onClose(window); break;
    case WM_GETMINMAXINFO: onGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); break;
    case WM_NCACTIVATE: relayCaptionState(window, wParam); break;
    case WM_CHAR: onKey(static_cast<unsigned char>(wParam & 0xFF)); break;
    case WM_COMMAND: dispatchCommand(LOWORD(wParam)); break;
    case WM_TIMER: animationTick(); break;
    case WM_REDRAW_REQUEST: onRedrawRequest(); break;
    case WM_EXPORT_PROGRESS: showExportProgress(wParam); break;
    case WM_EXPORT_DONE: finishAnimationExport(window, wParam); break;
    default: break;
    }
    // Every message, handled or not, then gets the default processing: the handlers only add
    // to it, so WM_NCACTIVATE still draws this window's caption after relaying it. The trap is
    // WM_CLOSE, whose default is DestroyWindow: onClose cleans up and destroys the window
    // itself, and the default's second DestroyWindow then fails harmlessly on the dead handle.
    return DefWindowProcW(window, message, wParam, lParam);
}
