#pragma once

#include <windows.h>

// A numbered series of the shown frames over one wave cycle (Ctrl+A): the save dialogs once,
// then one file each animation tick while a progress bar runs in a status bar.

// The dialogs and the start of the series; the animation stops first. Nothing starts when a
// dialog is cancelled or the numbered names would not fit a file name.
void StartFrameCapture(HWND mainWindow);

// The first part of a tick while a series runs: writes the shown frame as the next number and
// returns true, or ends the series after the last one, or at a frame that cannot be written
// (told in one message), and returns false (the tick then stops there: the animation stays
// stopped).
bool captureStep(HWND mainWindow);

// The status text that a series shows; the main window puts it back on every paint.
void showCaptureStatus();

// The status bar with its text and a progress bar of `steps` steps, at the start of a series or
// an animation export; and their end, which lets the held-back commands work again.
void createCaptureBars(HWND mainWindow, int steps);
void endCapture();
