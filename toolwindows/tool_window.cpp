#include "tool_window.h"

#include "app/shared_state.h"

const ToolWindowKind& toolWindowKind(ToolWindow window) {
    static const ToolWindowKind kinds[kToolWindowCount] = {
        {L"Wave_Frame", waveWindowProc, L"波動調整", L"波動調整", 10, 520, 440, 150, {440, 150},
         IDM_WAVE_WINDOW, &SharedState::waveWindow},
        {L"Light_Frame", lightWindowProc, L"光源・質感設定", L"光源方向設定", 650, 10, 260, 310,
         {260, 310}, IDM_LIGHT_WINDOW, &SharedState::lightWindow},
        {L"Ctrl_Frame", controlWindowProc, L"コントロールBOX", L"コントロールBOX", 650, 320, 260,
         350, {260, 378}, IDM_CONTROL_WINDOW, &SharedState::controlWindow},
        {L"Erase_Frame", eraseWindowProc, L"消去色設定", L"消去色設定", 440, 520, 200, 150,
         {215, 150}, IDM_ERASE_WINDOW, &SharedState::eraseWindow},
    };
    return kinds[static_cast<int>(window)];
}

HWND openToolWindow(ToolWindow window, ToolTitle title) {
    SharedState& s = sharedState();
    const ToolWindowKind& kind = toolWindowKind(window);
    if (s.*kind.handle) return s.*kind.handle;
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kind.className,
                                title == ToolTitle::AtStart ? kind.title : kind.menuTitle,
                                WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, kind.x, kind.y,
                                kind.width, kind.height, s.mainWindow, nullptr, s.programInstance,
                                nullptr);
    s.*kind.handle = hwnd;
    if (hwnd) EnableMenuItem(GetMenu(s.mainWindow), kind.menuItem, MF_BYCOMMAND | MF_GRAYED);
    return hwnd;
}

void relayCaptionState(HWND from, WPARAM active) {
    SharedState& s = sharedState();
    if (s.captionSyncBusy) return;
    s.captionSyncBusy = 1;
    for (HWND other : {s.mainWindow, s.waveWindow, s.lightWindow, s.controlWindow, s.eraseWindow})
        if (other && other != from) SendMessageW(other, WM_NCACTIVATE, active, 0);
    s.captionSyncBusy = 0;
}

void handleCommonToolMessage(ToolWindow window, HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam) {
    switch (message) {
    case WM_GETMINMAXINFO: {
        const SIZE size = toolWindowKind(window).fixedSize;
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {size.cx, size.cy};
        info->ptMaxTrackSize = {size.cx, size.cy};
        break;
    }
    case WM_NCACTIVATE: relayCaptionState(hwnd, wParam); break;
    case WM_CHAR:
        // The rotation and move keys work while a tool window has the focus.
        if (window != ToolWindow::Erase) SendMessageW(sharedState().mainWindow, WM_CHAR, wParam, 0);
        break;
    // The window is destroyed here; the default processing that follows in the window's
    // procedure then finds it gone and does nothing more.
    case WM_CLOSE: closeToolWindow(window, hwnd); break;
    default: break;
    }
}

void closeToolWindow(ToolWindow window, HWND hwnd) {
    SharedState& s = sharedState();
    const ToolWindowKind& kind = toolWindowKind(window);
    s.*kind.handle = nullptr;
    if (s.mainWindow) EnableMenuItem(GetMenu(s.mainWindow), kind.menuItem, MF_BYCOMMAND | MF_ENABLED);
    DestroyWindow(hwnd);
}

void placeWindow(HWND window, int x, int y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
