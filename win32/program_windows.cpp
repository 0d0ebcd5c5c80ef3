#include "program_windows.h"

#include <algorithm>

#include "shared_state.h"

namespace {
std::vector<HWND> programWindows() {
    const SharedState& s = sharedState();
    std::vector<HWND> windows;
    for (HWND w : {s.mainWindow, s.waveWindow, s.lightWindow, s.controlWindow, s.eraseWindow})
        if (w) windows.push_back(w);
    return windows;
}
} // namespace

void relayCaptionState(HWND from, WPARAM active) {
    SharedState& s = sharedState();
    if (s.captionSyncBusy) return;
    s.captionSyncBusy = 1;
    for (HWND other : programWindows())
        if (other != from) SendMessageW(other, WM_NCACTIVATE, active, 0);
    s.captionSyncBusy = 0;
}

ProgramModal::ProgramModal(HWND owner) {
    for (HWND w : programWindows())
        if (w != owner && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled_.push_back(w);
        }
}

ProgramModal::~ProgramModal() {
    // Only windows that are still the program's: one closed meanwhile is gone, its handle free.
    const std::vector<HWND> open = programWindows();
    for (HWND w : disabled_)
        if (std::find(open.begin(), open.end(), w) != open.end()) EnableWindow(w, TRUE);
}

void centreOnDesktop(HWND window) {
    RECT desktop, r;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(window, nullptr, (desktop.right - width) / 2, (desktop.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
}

void placeWindow(HWND window, int x, int y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
