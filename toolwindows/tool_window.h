#pragma once

#include <windows.h>

struct SharedState;

enum class ToolWindow { Wave, Light, Control, Erase };
inline constexpr int kToolWindowCount = 4;

// The light window's title depends on whether it opens at start-up or from the Window menu.
enum class ToolTitle { AtStart, FromMenu };

struct ToolWindowKind {
    const wchar_t* className;
    WNDPROC procedure;
    const wchar_t* title;         // at start-up
    const wchar_t* menuTitle;     // when opened from the Window menu
    int x, y, width, height;      // where it is created, before it places itself
    SIZE fixedSize;               // minimum and maximum tracking size
    UINT menuItem;                // its Window menu item
    HWND SharedState::*handle;    // its handle field in the shared state
};

const ToolWindowKind& toolWindowKind(ToolWindow window);

// Opens the tool window if it is closed and grays its Window menu item; does nothing if open.
HWND openToolWindow(ToolWindow window, ToolTitle title);

// WM_NCACTIVATE: sends the same state to the other four windows, once, so that all captions
// show active or inactive together.
void relayCaptionState(HWND from, WPARAM active);

// The messages every tool window handles alike: the fixed size, the caption relay, keys passed
// on to the main window (not by the erase colour window), and the closing steps. A window's own
// procedure handles its other messages and passes these here.
void handleCommonToolMessage(ToolWindow window, HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam);
// Common closing steps: clear the handle, enable the menu item again, destroy the window.
void closeToolWindow(ToolWindow window, HWND hwnd);
// Moves a window in screen coordinates without resizing it.
void placeWindow(HWND window, int x, int y);

LRESULT CALLBACK waveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK lightWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK eraseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
