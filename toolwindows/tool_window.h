#pragma once

#include <windows.h>

#include "win32/gdi.h"
#include "win32/program_windows.h"

struct SharedState;

enum class ToolWindow { Wave, Light, Control, Erase };
inline constexpr int kToolWindowCount = 4;

// The light window's title depends on whether it opens at start-up or from the Window menu.
enum class ToolTitle { AtStart, FromMenu };

struct ToolWindowKind {
    const wchar_t* className;
    WNDPROC procedure;
    const wchar_t* title;      // at start-up
    const wchar_t* menuTitle;  // when opened from the Window menu
    int x, y, width, height;   // where it is created, before it places itself
    SIZE fixedSize;            // minimum and maximum tracking size
    UINT menuItem;             // its Window menu item
    HWND SharedState::*handle; // its handle field in the shared state
};

const ToolWindowKind& toolWindowKind(ToolWindow window);

// Opens the tool window if it is closed and grays its Window menu item; does nothing if open.
HWND openToolWindow(ToolWindow window, ToolTitle title);

// The messages every tool window handles alike: the fixed size, the caption relay, keys passed
// on to the main window (not by the erase colour window), and the closing steps. A window's own
// procedure handles its other messages and passes these here.
void handleCommonToolMessage(ToolWindow window, HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam);
// Common closing steps: clear the handle, enable the menu item again, destroy the window.
void closeToolWindow(ToolWindow window, HWND hwnd);
// Start of WM_CREATE: the window's handle field is set at once, so that what the window sends
// while it is being created (the control box's commands) already finds it; the control font
// is made.
void beginToolWindow(ToolWindow window, HWND hwnd);

// A font of `face`, `size` pixels high at 96 dots per inch (scaled to the display), Shift-JIS.
[[nodiscard]] Font createToolFont(const wchar_t* face, HWND window, int weight, int size);
// The tool window's control font ("MS P ｺﾞｼｯｸ", 14, weight 500); it lives until WM_CLOSE.
[[nodiscard]] HFONT controlFont(ToolWindow window);

// A child control of a tool window, in the window's control font.
HWND createControl(ToolWindow window, HWND parent, const wchar_t* className, const wchar_t* text,
                   DWORD style, int x, int y, int width, int height, int id);

// A fixed caption painted on the tool window's background (transparent, "ＭＳ P ゴシック" 14).
void drawLabelText(HWND window, int x, int y, const wchar_t* text);

// End of WM_COMMAND: the keyboard focus goes back to the tool window from the clicked control,
// so typed keys keep reaching the main window.
void endToolCommand(HWND window);

LRESULT CALLBACK waveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK lightWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK eraseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
