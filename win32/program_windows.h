#pragma once

#include <windows.h>

#include <vector>

// The program's windows as one group: the main window and the four tool windows, found through
// their handles in the shared state.

// WM_NCACTIVATE: sends the same state to the other four windows, once, so that all captions
// show active or inactive together.
void relayCaptionState(HWND from, WPARAM active);

// For a dialog that is modal for the whole program: while this lives, the main window and the
// tool windows other than the dialog's owner (which the dialog itself disables) take no input.
// Those still open when it ends take input again.
class ProgramModal {
  public:
    explicit ProgramModal(HWND owner);
    ~ProgramModal();
    ProgramModal(const ProgramModal&) = delete;
    ProgramModal& operator=(const ProgramModal&) = delete;

  private:
    std::vector<HWND> disabled_;
};

// Moves a window in screen coordinates without resizing it.
void placeWindow(HWND window, int x, int y);
// Moves a window, keeping its size and Z order, to the middle of the desktop.
void centreOnDesktop(HWND window);
