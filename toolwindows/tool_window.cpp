#include "tool_window.h"

#include <cwchar>
#include <type_traits>

#include "win32/program_windows.h"
#include "win32/shared_state.h"

namespace {
constexpr wchar_t kControlFontFace[] = L"MS P ｺﾞｼｯｸ";
constexpr wchar_t kLabelFontFace[] = L"ＭＳ P ゴシック";
constexpr int kFontSize = 14;
constexpr int kControlFontWeight = 500;
constexpr int kLabelFontWeight = 400;

static_assert(std::extent_v<decltype(SharedState::toolControlFonts)> == kToolWindowCount);
} // namespace

const ToolWindowKind& toolWindowKind(ToolWindow window) {
    static const ToolWindowKind kinds[kToolWindowCount] = {
        {L"Wave_Frame",
         waveWindowProc,
         L"波動調整",
         L"波動調整",
         10,
         520,
         440,
         150,
         {440, 150},
         IDM_WAVE_WINDOW,
         &SharedState::waveWindow},
        {L"Light_Frame",
         lightWindowProc,
         L"光源・質感設定",
         L"光源方向設定",
         650,
         10,
         260,
         310,
         {260, 310},
         IDM_LIGHT_WINDOW,
         &SharedState::lightWindow},
        {L"Ctrl_Frame",
         controlWindowProc,
         L"コントロールBOX",
         L"コントロールBOX",
         650,
         320,
         260,
         350,
         {260, 378},
         IDM_CONTROL_WINDOW,
         &SharedState::controlWindow},
        {L"Erase_Frame",
         eraseWindowProc,
         L"消去色設定",
         L"消去色設定",
         440,
         520,
         200,
         150,
         {215, 150},
         IDM_ERASE_WINDOW,
         &SharedState::eraseWindow},
    };
    return kinds[static_cast<int>(window)];
}

HWND openToolWindow(ToolWindow window, ToolTitle title) {
    SharedState& s = sharedState();
    const ToolWindowKind& kind = toolWindowKind(window);
    if (s.*kind.handle) return s.*kind.handle;
    HWND hwnd = CreateWindowExW(
        WS_EX_TOOLWINDOW, kind.className, title == ToolTitle::AtStart ? kind.title : kind.menuTitle,
        WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, kind.x, kind.y, kind.width, kind.height,
        s.mainWindow, nullptr, s.programInstance, nullptr);
    s.*kind.handle = hwnd;
    if (hwnd) EnableMenuItem(GetMenu(s.mainWindow), kind.menuItem, MF_BYCOMMAND | MF_GRAYED);
    return hwnd;
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
    if (s.mainWindow)
        EnableMenuItem(GetMenu(s.mainWindow), kind.menuItem, MF_BYCOMMAND | MF_ENABLED);
    DestroyWindow(hwnd); // its controls go with it, and with them the last users of the font
    sharedState().toolControlFonts[static_cast<int>(window)].reset();
}

void beginToolWindow(ToolWindow window, HWND hwnd) {
    sharedState().*toolWindowKind(window).handle = hwnd;
    sharedState().toolControlFonts[static_cast<int>(window)] =
        createToolFont(kControlFontFace, hwnd, kControlFontWeight, kFontSize);
}

Font createToolFont(const wchar_t* face, HWND window, int weight, int size) {
    const WindowDC dc(window);
    const int height = -MulDiv(size, GetDeviceCaps(dc.get(), LOGPIXELSY), 96);
    return Font(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                            FF_MODERN | VARIABLE_PITCH, face));
}

HFONT controlFont(ToolWindow window) {
    return sharedState().toolControlFonts[static_cast<int>(window)].get();
}

HWND createControl(ToolWindow window, HWND parent, const wchar_t* className, const wchar_t* text,
                   DWORD style, int x, int y, int width, int height, int id) {
    HWND control = CreateWindowExW(0, className, text, style, x, y, width, height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   sharedState().programInstance, nullptr);
    if (control && std::wcscmp(className, L"BUTTON") == 0)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont(window)), TRUE);
    return control;
}

void drawLabelText(HWND window, int x, int y, const wchar_t* text) {
    const WindowDC dc(window);
    const Font font = createToolFont(kLabelFontFace, window, kLabelFontWeight, kFontSize);
    const SelectedObject selected = selectInto(dc.get(), font.get());
    SetBkMode(dc.get(), TRANSPARENT);
    TextOutW(dc.get(), x, y, text, static_cast<int>(std::wcslen(text)));
    SetBkMode(dc.get(), OPAQUE);
}

void endToolCommand(HWND window) {
    SetFocus(window);
}
